// SPDX-License-Identifier: GPL-3.0-or-later
// convert --format: the output name's extension, usage errors before anything is written,
// default names, folder jobs and --merge.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_files.h"

namespace varistrum {
namespace {

using test::ReadFile;
using test::RunCommand;
using test::TempDir;

const std::string kCli = VARISTRUM_CLI;

class MapFormatOptionsTest : public ::testing::Test {
  protected:
    MapFormatOptionsTest() : log_(dir_.File("mixed.klf")) {
        std::filesystem::rename(test::Simulate(dir_, "mixed", 5, 120), log_);
    }

    int Cli(const std::string& arguments) const {
        std::string command = kCli + " convert " + arguments;
        for (std::size_t at = command.find("{dir}"); at != std::string::npos;
             at = command.find("{dir}"))
            command.replace(at, 5, dir_.Path().string());
        return RunCommand(command + " >" + dir_.File("stdout") + " 2>" + dir_.File("stderr"));
    }
    std::string Err() const { return ReadFile(dir_.File("stderr")); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dir_.File(name)); }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path())) {
            const std::string name = entry.path().filename().string();
            if (name != "stdout" && name != "stderr" && name != "stderr.txt")
                names.push_back(std::filesystem::relative(entry.path(), dir_.Path()).string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir_;
    std::string log_;
};

TEST_F(MapFormatOptionsTest, FormatAndOutputNames) {
    struct Case {
        const char* arguments;
        int status;
        std::vector<std::string> files;  // besides the log
        const char* error;               // in standard error, if any
    };
    const std::string log = "{dir}/mixed.klf";
    const Case cases[] = {
        {" --format kml", 0, {"mixed.kml"}, ""},
        {" --format gpkg", 0, {"mixed.gpkg"}, ""},
        {" --format geojson", 0, {"mixed.geojson", "mixed.route.geojson"}, ""},
        {" --format fgb", 0, {"mixed.fgb"}, ""},
        {" --format text", 0, {"mixed.out"}, ""},
        {" -o {dir}/drive.GPKG", 0, {"drive.GPKG"}, ""},
        {" -o {dir}/drive.csv", 0, {"drive.csv"}, ""},  // the text, as ever
        {" --format csv", 0, {"mixed.csv"}, ""},
        {" --format csv -o {dir}/table.csv", 0, {"table.csv"}, ""},
        {" --format kml --kml-points --kml-channel strongest", 0, {"mixed.kml"}, ""},
        {" --format kml --kml-channel 12", 0, {"mixed.kml"}, ""},
        {" --format kml --kml-channel twelve", 2, {}, "--kml-channel takes a channel number"},
        {" --format gpkg --kml-points", 2, {}, "--kml-points applies only to KML"},
        {" --kml-channel 3", 2, {}, "--kml-channel applies only to KML"},
        {" --format csv --merge {dir}/all.gpkg", 2, {}, "only to folder jobs"},
        {" --format fgb -o {dir}/drive.kml", 2, {}, "its extension is .kml"},
        {" --format text -o {dir}/drive.gpkg", 2, {}, "its extension is .gpkg"},
        {" --format shp", 2, {}, "--format must be"},
        {" --format kml -o -", 2, {}, "a map layer needs a file"},
        {" --format kml --rssi-thresholds -100,-110,-90,-80,-70", 2, {}, "--rssi-thresholds"},
        {" --rssi-thresholds -110,-100,-90,-80,-70", 2, {}, "applies only to map layer"},
        {" --format kml --rssi-thresholds -105,-95,-85,-75,-65", 0, {"mixed.kml"}, ""},
        {" --merge {dir}/all.gpkg", 2, {}, "only to folder jobs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        for (const std::string& name : Files()) {
            if (name != "mixed.klf") std::filesystem::remove_all(dir_.File(name));
        }
        EXPECT_EQ(Cli(log + c.arguments), c.status);
        std::vector<std::string> expected = c.files;
        expected.push_back("mixed.klf");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Files(), expected);
        EXPECT_NE(Err().find(c.error), std::string::npos) << Err();
    }
}

TEST_F(MapFormatOptionsTest, FolderJobsWriteOneLayerFilePerLogOrOneMergedGeoPackage) {
    std::filesystem::create_directory(dir_.File("in"));
    std::filesystem::rename(log_, dir_.File("in/a.klf"));
    std::filesystem::rename(test::Simulate(dir_, "list", 6, 60), dir_.File("in/b.klf"));
    std::filesystem::create_directory(dir_.File("out"));
    EXPECT_EQ(Cli("--input-folder {dir}/in --output-folder {dir}/out --format fgb"), 0) << Err();
    EXPECT_TRUE(Exists("out/a.fgb"));
    EXPECT_TRUE(Exists("out/b.fgb"));
    EXPECT_EQ(Cli("--input-folder {dir}/in --merge {dir}/all.gpkg"), 0) << Err();
    EXPECT_TRUE(Exists("all.gpkg"));
    EXPECT_EQ(Cli("--input-folder {dir}/in --merge {dir}/all.kml"), 2);
    EXPECT_EQ(Cli("--input-folder {dir}/in --output-folder {dir}/o2 --format kml -j 2"), 2);
    // The CSV tables take .csv, which alone would name text.
    std::filesystem::create_directory(dir_.File("o3"));
    EXPECT_EQ(Cli("--input-folder {dir}/in --output-folder {dir}/o3 --format csv --output-ext "
                  ".csv -q"),
              0)
        << Err();
    EXPECT_TRUE(Exists("o3/a.csv"));
    EXPECT_TRUE(Exists("o3/b.csv"));
    EXPECT_EQ(ReadFile(dir_.File("o3/a.csv")).rfind("latitude,longitude,scan,", 0), 0u);
    // A folder that cannot be created: a write failure, exit 1, no file.
    EXPECT_EQ(Cli("--input-folder {dir}/in --merge {dir}/in/a.klf/all.gpkg"), 1);
    EXPECT_NE(Err().find("Output File Cannot Be Accessed!"), std::string::npos) << Err();
}

// A GeoPackage carries the provenance record it is written beside; it counts the features.
TEST_F(MapFormatOptionsTest, ProvenanceGoesIntoTheGeoPackageAndBesideIt) {
    ASSERT_EQ(Cli(log_ + " --format gpkg --provenance -q"), 0) << Err();
    const std::string record = ReadFile(dir_.File("mixed.gpkg.provenance.json"));
    ASSERT_NE(record.find("\"features\":"), std::string::npos) << record;
    EXPECT_EQ(record.find("output_lines"), std::string::npos);
    // GDAL's reading of the dataset metadata, as a GIS user sees it.
    ASSERT_EQ(RunCommand("ogrinfo -ro -so " + dir_.File("mixed.gpkg") + " | grep PROVENANCE= >" +
                         dir_.File("metadata")),
              0);
    const std::string stored = ReadFile(dir_.File("metadata"));
    ASSERT_NE(stored.find('{'), std::string::npos) << stored;
    EXPECT_EQ(stored.substr(stored.find('{')), record);
    // The features counted are the samples layer's.
    ASSERT_EQ(RunCommand("ogrinfo -ro -so " + dir_.File("mixed.gpkg") +
                         " samples | grep 'Feature Count' >" + dir_.File("count")),
              0);
    const std::string count = ReadFile(dir_.File("count"));
    const std::string features =
        count.substr(count.find(':') + 2, count.find('\n') - count.find(':') - 2);
    EXPECT_NE(record.find("\"features\":" + features + ","), std::string::npos) << count << record;
    // Without --provenance there is no record.
    std::filesystem::remove(dir_.File("mixed.gpkg.provenance.json"));
    ASSERT_EQ(Cli(log_ + " --format kml -q"), 0) << Err();
    EXPECT_FALSE(Exists("mixed.kml.provenance.json"));
}

}  // namespace
}  // namespace varistrum
