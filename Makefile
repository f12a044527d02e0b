# SPDX-License-Identifier: GPL-3.0-or-later
# Varistrum CW: set-up, build, test and demo in one place.
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES := cmake ninja-build g++ make qt6-base-dev libcli11-dev googletest libgtest-dev locales libbenchmark-dev \
  dpkg-dev lintian desktop-file-utils shared-mime-info xdg-utils libglib2.0-bin parallel clang-format-14 \
  libgdal-dev gdal-bin libproj-dev nlohmann-json3-dev libssl-dev libxml2-dev python3-gdal python3-pandas \
  python3-geopandas strace
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
EXAMPLE := examples/drive-example.klf

.PHONY: deps configure build test demo gui clean example package

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
	@# Output must not depend on the locale: the tests also run under a comma-decimal one.
	@locale -a 2>/dev/null | grep -qi '^de_DE.utf8$$' || $(SUDO) localedef -i de_DE -f UTF-8 de_DE.UTF-8 || true

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

DEMO_OUT := $(BUILD)/demo/drive-example.out

# Converts the example drive log: position, time, record number and the measured levels.
demo: build
	@mkdir -p $(BUILD)/demo
	./$(BUILD)/cli/varistrum-cli identify $(EXAMPLE)
	./$(BUILD)/cli/varistrum-cli index $(EXAMPLE)
	./$(BUILD)/cli/varistrum-cli convert $(EXAMPLE) -o $(DEMO_OUT) --tags 5,11,18,32,0 --columns frequency,channel,rssi --quiet
	@echo "--- first lines of $(DEMO_OUT) ---"
	@head -n 8 $(DEMO_OUT) | cut -c 1-150

# Rewrites the expected outputs in tests/golden after a deliberate change of output: review the
# diff (git diff --stat tests/golden) before committing it.
.PHONY: golden
golden: build
	cmake --build $(BUILD) --target golden

gui: build
	./$(BUILD)/app/varistrum

# A Debian package of the window, the command line and the simulator.
package: build
	cd $(BUILD) && cpack -G DEB
	@ls -1 $(BUILD)/varistrum_*.deb

# Regenerates the bundled example log (deterministic).
example: build
	./$(BUILD)/tools/varistrum-sim --seed 1 --out $(EXAMPLE) --variant 8 --scenario mixed --duration 220

clean:
	rm -rf $(BUILD)

.PHONY: fuzz sanitize

# Runs every fuzz target for SECONDS (default 60), built with clang 14 in build-fuzz.
fuzz:
	fuzz/run_fuzzers.sh $(or $(SECONDS),60)

# CI's sanitizer builds: core tests and corpus replays under ASan+UBSan, worker tests under TSan.
sanitize: deps
	.ci/sanitize

# A picture of the window with the example log indexed, for the documentation.
.PHONY: screenshot
SHOT_LOG = $(if $(wildcard $(EXAMPLE)),$(EXAMPLE),$(BUILD)/drive-example.klf)
screenshot: build
	@test -f $(SHOT_LOG) || ./$(BUILD)/tools/varistrum-sim --seed 1 --out $(SHOT_LOG)
	xvfb-run -a -s "-screen 0 1280x800x24" ./$(BUILD)/app/varistrum \
	  --config docs/screenshot.cfg --open $(SHOT_LOG) --screenshot docs/screenshot.png
	@echo "docs/screenshot.png written"
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/app/varistrum \
	  --config docs/screenshot.cfg --open $(SHOT_LOG) --map-screenshot docs/map-window.png
	@echo "docs/map-window.png written"
	docs/render-background-picture.sh ./$(BUILD)/cli/varistrum-cli $(SHOT_LOG) docs/map-background.png
	@echo "docs/map-background.png written"

# Conversion, index pass and folder jobs of a simulated log timed beside the machine's floors
# (cat of the input, cp of the output), as medians of alternating runs; then the passes over the
# same log side by side in one process (index, plain, 40-lambda, outage pre-pass); the window's
# index pass and conversion beside the command line's on the same log (offscreen); the map and
# the map layer exports; 10^6 samples binned into 25 m cells beside the text conversion of their
# log; the memory table (every command and format on logs of pathological shapes); then the
# decoder and formatter micro-benchmarks.
# The log is made once and kept in $(BUILD)/bench.
.PHONY: bench
BENCH_MB ?= 512
BENCH_RUNS ?= 5
# The eight files of the -j 1 / -j 2 job together: their 1.7 GB of text stays below what the
# page cache takes before writers wait for the disk, so the job measures the processors.
BENCH_JOBS_MB ?= 256
# The map layer exports: a small log, as the KML writer keeps its whole document in memory
# (about 10 kB a placemark) until the file is closed.
BENCH_MAP_MB ?= 2
# The memory table: peak resident memory above start-up of every command and format on the
# pathological shapes (long gaps, millions of scans), a long single-frequency drive of
# BENCH_DRIVE_MB and a log of BENCH_FEATURES map layer features (smaller for a quick run).
BENCH_DRIVE_MB ?= 600
BENCH_FEATURES ?= 3000000
bench: build
	./$(BUILD)/bench/varistrum_bench_driver --cli $(BUILD)/cli/varistrum-cli \
	  --sim $(BUILD)/tools/varistrum-sim --work $(BUILD)/bench --mb $(BENCH_MB) \
	  --runs $(BENCH_RUNS) --jobs-mb $(BENCH_JOBS_MB)
	./$(BUILD)/bench/varistrum_pass_bench $(BUILD)/bench/bench-$(BENCH_MB)mb.klf $(BUILD)/bench \
	  $(BENCH_RUNS)
	./$(BUILD)/bench/varistrum_window_bench --cli $(BUILD)/cli/varistrum-cli \
	  --window $(BUILD)/app/varistrum --log $(BUILD)/bench/bench-$(BENCH_MB)mb.klf \
	  --work $(BUILD)/bench --runs $(BENCH_RUNS)
	./$(BUILD)/bench/varistrum_map_bench $(BUILD)/bench/bench-$(BENCH_MB)mb.klf $(BUILD)/bench \
	  $(BENCH_RUNS)
	./$(BUILD)/bench/varistrum_map_export_bench $(BUILD)/cli/varistrum-cli \
	  $(BUILD)/tools/varistrum-sim $(BUILD)/bench $(BENCH_MAP_MB) $(BENCH_RUNS)
	./$(BUILD)/bench/varistrum_bins_bench $(BUILD)/tools/varistrum-sim $(BUILD)/cli/varistrum-cli \
	  $(BUILD)/bench $(BENCH_RUNS)
	./$(BUILD)/bench/varistrum_memory_bench --cli $(BUILD)/cli/varistrum-cli \
	  --sim $(BUILD)/tools/varistrum-sim --shapes $(BUILD)/bench/varistrum_memory_shapes \
	  --work $(BUILD)/bench/memory --drive-mb $(BENCH_DRIVE_MB) --features $(BENCH_FEATURES) \
	  --small-mb $(BENCH_MAP_MB)
	./$(BUILD)/bench/varistrum_bench --benchmark_min_time=0.2
