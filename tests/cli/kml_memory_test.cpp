// SPDX-License-Identifier: GPL-3.0-or-later
// A 100 MB drive as a KML track in bounded memory, measured in a child process, the document
// well-formed when read back as a stream; its points form refused past the limit, no file left.
#include <gtest/gtest.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;

using test::ChildRun;

// Runs the command line in a child process, its standard error into `messages`.
ChildRun RunCli(std::vector<std::string> arguments, const std::string& messages) {
    arguments.insert(arguments.begin(), VARISTRUM_CLI);
    return test::RunMeasured(arguments, "/dev/null", messages, 120);
}

// Reads the document as a stream (it may be far larger than the memory a tree would take):
// the placemarks, or -1 when it is not well-formed.
long StreamedPlacemarks(const std::string& path) {
    xmlTextReaderPtr reader = xmlReaderForFile(path.c_str(), nullptr, XML_PARSE_NONET);
    if (reader == nullptr) return -1;
    long placemarks = 0;
    int read = 0;
    while ((read = xmlTextReaderRead(reader)) == 1) {
        if (xmlTextReaderNodeType(reader) == XML_READER_TYPE_ELEMENT &&
            std::string(reinterpret_cast<const char*>(xmlTextReaderConstName(reader))) ==
                "Placemark")
            ++placemarks;
    }
    xmlFreeTextReader(reader);
    return read == 0 ? placemarks : -1;
}

TEST(KmlMemoryTest, AHundredMegabyteDriveAsATrackStaysUnderTheBound) {
    test::TempDir dir;
    const std::string log = dir.File("drive.klf");
    ASSERT_EQ(
        test::RunCommand(std::string(VARISTRUM_SIM) +
                         " --seed 3 --size-mb 100 --scenario mixed --out " + log + " 2>/dev/null"),
        0);
    const std::string messages = dir.File("messages");
    const ChildRun startup = RunCli({"--version"}, messages);
    ASSERT_EQ(startup.status, 0);

    const std::string track = dir.File("drive.kml");
    const ChildRun run = RunCli({"convert", "-q", log, "--format", "kml", "-o", track}, messages);
    ASSERT_EQ(run.status, 0) << test::ReadFile(messages);
    EXPECT_LT(run.peakKiB - startup.peakKiB, 64 * 1024)
        << "peak " << run.peakKiB << " KiB, start-up " << startup.peakKiB << " KiB";
    EXPECT_GT(StreamedPlacemarks(track), 1000);
    fs::remove(track);

    // The points form stops at the 100,001st point: its message names the ways to fewer
    // placemarks, and no file stays, temporary or final.
    const std::string points = dir.File("points.kml");
    const ChildRun refused =
        RunCli({"convert", "-q", log, "--format", "kml", "--kml-points", "-o", points}, messages);
    EXPECT_EQ(refused.status, 1);
    EXPECT_LT(refused.peakKiB - startup.peakKiB, 64 * 1024);
    const std::string said = test::ReadFile(messages);
    EXPECT_NE(said.find("would hold more than 100,000 points"), std::string::npos) << said;
    EXPECT_NE(said.find("coloured track"), std::string::npos) << said;
    EXPECT_NE(said.find("40-lambda averaging"), std::string::npos) << said;
    EXPECT_EQ(said.find("best server"), std::string::npos) << said;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"drive.klf", "messages"}));
}

}  // namespace
}  // namespace varistrum
