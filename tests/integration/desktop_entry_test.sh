#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A log opens from a file manager: the desktop entry is valid and opens the logs' MIME type,
# the MIME definition knows a log by its name and by the text at its start, and the entry's
# Exec line opens and indexes the log in the window. Run against a private XDG data folder.
# Needs VARISTRUM_WINDOW, VARISTRUM_SIM and VARISTRUM_SOURCE_DIR; skipped (77) without the tools.
set -euo pipefail
for tool in desktop-file-validate update-desktop-database update-mime-database xdg-mime gio; do
    command -v "$tool" > /dev/null || { echo "$tool is missing"; exit 77; }
done
resources=$VARISTRUM_SOURCE_DIR/app/resources
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

desktop-file-validate "$resources/varistrum.desktop"
mkdir -p "$work/data/applications" "$work/data/mime/packages" "$work/bin"
cp "$resources/varistrum.desktop" "$work/data/applications/"
cp "$resources/varistrum-mime.xml" "$work/data/mime/packages/varistrum.xml"
export XDG_DATA_DIRS=$work/data:/usr/share XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
update-mime-database "$work/data/mime"
update-desktop-database "$work/data/applications"
# xdg-mime asks GLib's database (the one file managers use) when it sees a GNOME session.
export XDG_CURRENT_DESKTOP=GNOME
mime=application/x-tavrel-log

"$VARISTRUM_SIM" --seed 1 --out "$work/run1.klf" --duration 30 2> /dev/null
"$VARISTRUM_SIM" --seed 2 --out "$work/card.bin" --variant 9 --duration 30 2> /dev/null
cp "$work/run1.klf" "$work/cut.QEL"
cp "$work/run1.klf" "$work/renamed-log"
printf 'QTX drive notes, not a log\n' > "$work/notes"
for file in run1.klf cut.QEL renamed-log card.bin; do
    type=$(xdg-mime query filetype "$work/$file")
    [ "$type" = "$mime" ] || fail "$file is $type, not $mime"
done
type=$(xdg-mime query filetype "$work/notes")
[ "$type" != "$mime" ] || fail "a text file is taken for a log"
[ "$(xdg-mime query default "$mime")" = varistrum.desktop ] || fail "$mime does not open in varistrum"

# The Exec line with the file put in, as a file manager starts it; --timing ends the window
# once the log is indexed.
ln -s "$VARISTRUM_WINDOW" "$work/bin/varistrum"
exec_line=$(sed -n 's/^Exec=//p' "$resources/varistrum.desktop")
command=${exec_line//%f/$work/run1.klf}
PATH=$work/bin:$PATH QT_QPA_PLATFORM=offscreen $command --timing > "$work/opened" \
    || fail "'$command' does not open the log"
grep -q "^index pass " "$work/opened" || fail "'$command' does not index the log"
echo "the desktop entry opens logs, known by name and by content, in the indexed window"
