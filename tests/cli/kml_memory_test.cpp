// SPDX-License-Identifier: GPL-3.0-or-later
// A 100 MB drive as a KML track in bounded memory, measured in a child process, the document
// well-formed when read back as a stream; its points form refused past the limit, no file left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <libxml/xmlreader.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace varistrum {
namespace {

namespace fs = std::filesystem;

struct ChildRun {
    int status = -1;
    long peakKiB = 0;  // the child's peak resident memory
};

// Runs the command line in a child process, its standard error into `messages`.
ChildRun RunCli(const std::vector<std::string>& arguments, const std::string& messages) {
    std::vector<char*> argv{const_cast<char*>(VARISTRUM_CLI)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        alarm(120);
        const int file = ::open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int null = ::open("/dev/null", O_WRONLY);
        if (file < 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0 || dup2(file, STDERR_FILENO) < 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildRun run;
    struct rusage usage {};
    int status = 0;
    if (child < 0 || wait4(child, &status, 0, &usage) != child) return run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakKiB = usage.ru_maxrss;
    return run;
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
