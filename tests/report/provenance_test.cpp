// SPDX-License-Identifier: GPL-3.0-or-later
// SHA-256 against the FIPS 180-4 examples, and the provenance record of a conversion.
#include "report/provenance.h"

#include <gtest/gtest.h>

#include "base/sha256.h"
#include "support/test_files.h"
#include "tools/steady_drive.h"

namespace varistrum {
namespace {

TEST(Sha256Test, FipsExamples) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, digest] : cases) {
        EXPECT_EQ(Sha256Hex(message), digest);
        // The same in uneven pieces, across block boundaries.
        Sha256 pieces;
        for (std::size_t at = 0, step = 1; at < message.size();
             at += step, step = step * 3 % 97 + 1)
            pieces.Update(message.data() + at, std::min(step, message.size() - at));
        EXPECT_EQ(pieces.FinishHex(), digest);
    }
}

TEST(ProvenanceTest, RecordsInputDigestSettingsAndCounts) {
    test::TempDir dir;
    sim::SteadyDriveOptions drive;
    drive.seconds = 200;
    drive.gaps = {{100, 40, false}};
    const auto bytes = sim::SteadyDriveLog(drive);
    const std::string input = dir.File("drive.klf");
    test::WriteFile(input, bytes);
    TavrelReader reader;
    reader.SetInputFormat(8);
    ConversionSettings settings = test::FieldSettings({5, 11, 0});
    settings.dropOutages = true;
    settings.outageSeconds = 30;
    settings.averageType = kAverageLambda;
    settings.averageLinearPower = true;
    settings.scans = ScanSelectionSnapshot({-1, 1, 0, 1, 0});  // scans 2 and 4 unchecked
    test::RecordingObserver observer;
    FileOutcome converted;
    ASSERT_EQ(RunConversionJob(reader, {input}, {dir.File("drive.out")}, settings, observer, {},
                               JobKind::SingleFile, {}, &converted),
              JobOutcome::Completed);
    // The records from the last fix before the gap (second 99) to the next fix (140).
    EXPECT_EQ(converted.dropped.outages, 41);

    ProvenanceRun run{input,     dir.File("drive.out"), settings, std::nullopt, {}, 1765188900,
                      1765188961};
    run.counts.rowsDroppedInOutages = converted.dropped.outages;
    const std::string json = ProvenanceJson(run);
    const std::string digest =
        Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    const std::vector<std::string> parts = {
        std::string("{\"provenance_version\":1,\"program\":{\"name\":\"Varistrum CW\""),
        "\"input\":{\"name\":\"drive.klf\",",
        "\"bytes\":" + std::to_string(bytes.size()),
        "\"sha256\":\"" + digest + "\"",
        std::string("\"average_type\":\"40_lambda\""),
        std::string("\"average_domain\":\"linear\""),
        std::string("\"outage_seconds\":30"),
        std::string("\"rows_dropped_in_outages\":41"),
        std::string("\"all_scans\":false,\"unchecked_scans\":[2,4],"),
        std::string("\"started\":\"2025-12-08T10:15:00Z\",\"ended\":\"2025-12-08T10:16:01Z\"}\n")};
    for (const std::string& part : parts) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    }
    EXPECT_EQ(ProvenancePathOf("/data/drive 1.out"), "/data/drive 1.out.provenance.json");
    run.input = dir.File("gone.klf");
    EXPECT_NE(ProvenanceJson(run).find("\"bytes\":null,\"sha256\":null"), std::string::npos);
}

}  // namespace
}  // namespace varistrum
