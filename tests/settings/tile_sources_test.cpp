// SPDX-License-Identifier: GPL-3.0-or-later
// The map's tile sources: what makes one usable, finding one by name or address, and the
// configuration's [Map] section that keeps the user's.
#include "settings/tile_sources.h"

#include <gtest/gtest.h>

#include "settings/configuration.h"
#include "support/test_files.h"

namespace varistrum {
namespace {

TEST(TileSources, OnlyUsableSourcesPass) {
    const TileSource good{"Streets", "https://tiles.example/{z}/{x}/{y}.png", "(c) Example", 18};
    EXPECT_FALSE(TileSourceProblem(good));
    EXPECT_FALSE(TileSourceProblem(BuiltInTileSource()));
    const struct {
        TileSource source;
        const char* said;
    } bad[] = {
        {{"", good.urlTemplate, "", 18}, "needs a name"},
        {{"Two\nlines", good.urlTemplate, "", 18}, "needs a name"},
        {{"S", good.urlTemplate, "a\tb", 18}, "attribution"},
        {{"S", "ftp://tiles.example/{z}/{x}/{y}.png", "", 18}, "https:// or http://"},
        {{"S", "/tiles/{z}/{x}/{y}.png", "", 18}, "https:// or http://"},
        {{"S", "https://tiles.example/{z}/{x}.png", "", 18}, "once each"},
        {{"S", "https://t.example/{z}/{x}/{y}/{y}.png", "", 18}, "once each"},
        {{"S", "https://t.example/{s}/{z}/{x}/{y}.png", "", 18}, "no other braces"},
        {{"S", "https://t.example/{z}/{x}/{y}.png?k=a b", "", 18}, "blank"},
        {{"S", "https://t.example/{z}/{x}/{y}.png\"", "", 18}, "quote"},
        {{"S", good.urlTemplate, "", -1}, "maximum zoom"},
        {{"S", good.urlTemplate, "", kMaxTileZoom + 1}, "maximum zoom"},
    };
    for (const auto& c : bad) {
        const auto problem = TileSourceProblem(c.source);
        ASSERT_TRUE(problem) << c.source.urlTemplate;
        EXPECT_NE(problem->find(c.said), std::string::npos) << *problem;
    }
}

TEST(TileSources, NamesFindTheBuiltInTheConfiguredOrAnAddress) {
    const std::vector<TileSource> configured = {
        {"Streets", "https://a.example/{z}/{x}/{y}.png", "(c) A", 17},
        {"OSM copy", "https://b.example/{z}/{x}/{y}.png", "(c) B", 16}};
    const struct {
        const char* asked;
        const char* name;  // nullptr: none found
        const char* url;
    } cases[] = {
        {"osm", "OpenStreetMap", "https://tile.openstreetmap.org/{z}/{x}/{y}.png"},
        {"OSM", "OpenStreetMap", "https://tile.openstreetmap.org/{z}/{x}/{y}.png"},
        {"openstreetmap", "OpenStreetMap", "https://tile.openstreetmap.org/{z}/{x}/{y}.png"},
        {"streets", "Streets", "https://a.example/{z}/{x}/{y}.png"},
        {"OSM copy", "OSM copy", "https://b.example/{z}/{x}/{y}.png"},
        {"http://127.0.0.1:8080/t/{z}/{x}/{y}.png", "127.0.0.1:8080",
         "http://127.0.0.1:8080/t/{z}/{x}/{y}.png"},
        {"nowhere", nullptr, nullptr},
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        const auto found = FindTileSource(configured, c.asked);
        ASSERT_EQ(found.has_value(), c.name != nullptr) << c.asked;
        if (!found) continue;
        EXPECT_EQ(found->name, c.name);
        EXPECT_EQ(found->urlTemplate, c.url);
    }
    EXPECT_EQ(FindTileSource({}, "osm")->attribution, "(c) OpenStreetMap contributors");
    EXPECT_EQ(FindTileSource(configured, "Streets")->maxZoom, 17);
}

class MapSectionTest : public test::FolderTest {};

TEST_F(MapSectionTest, TheUsersSourcesGoInAMapSectionAndComeBack) {
    SettingsModel s;
    s.tileSources = {{"Streets", "https://a.example/{z}/{x}/{y}.png?key=1&v=2", "(c) A; B", 17},
                     {"Plain", "http://b.example/{z}/{y}/{x}", "", 0}};
    const std::string path = PathOf("map.cfg");
    ASSERT_TRUE(SaveConfiguration(path, s));
    EXPECT_NE(Slurp(path).find("[Map]\r\nCount=2\r\nName0=Streets\r\n"
                               "Template0=https://a.example/{z}/{x}/{y}.png?key=1&v=2\r\n"
                               "Attribution0=(c) A; B\r\nMaxZoom0=17\r\nName1=Plain\r\n"
                               "Template1=http://b.example/{z}/{y}/{x}\r\nAttribution1=\r\n"
                               "MaxZoom1=0\r\n"),
              std::string::npos)
        << Slurp(path);
    SettingsModel opened;
    OpenConfiguration(path, opened);
    EXPECT_EQ(opened.tileSources, s.tileSources);

    // Without sources no section is written; a file that had some gets Count=0.
    SettingsModel none;
    ASSERT_TRUE(SaveConfiguration(PathOf("none.cfg"), none));
    EXPECT_EQ(Slurp(PathOf("none.cfg")).find("[Map]"), std::string::npos);
    ASSERT_TRUE(SaveConfiguration(path, none));
    OpenConfiguration(path, opened);
    EXPECT_TRUE(opened.tileSources.empty());
    EXPECT_NE(Slurp(path).find("[Map]\r\nCount=0\r\n"), std::string::npos);
}

TEST_F(MapSectionTest, EditedEntriesThatCannotBeUsedAreNotOffered) {
    const std::string path =
        Put("edited.cfg",
            "[Map]\r\nCount=5\r\n"
            "Name0=Good\r\nTemplate0=https://a.example/{z}/{x}/{y}.png\r\nMaxZoom0=18\r\n"
            "Name1=NoY\r\nTemplate1=https://a.example/{z}/{x}.png\r\n"
            "Name2=Far\r\nTemplate2=https://a.example/{z}/{x}/{y}.png\r\nMaxZoom2=40\r\n"
            "Template3=https://a.example/{z}/{x}/{y}.png\r\n"
            "Name4=Default zoom\r\nTemplate4=https://c.example/{z}/{x}/{y}.png\r\n"
            "Name5=Beyond the count\r\nTemplate5=https://d.example/{z}/{x}/{y}.png\r\n");
    SettingsModel opened;
    opened.tileSources = {{"Earlier", "https://e.example/{z}/{x}/{y}.png", "", 3}};
    OpenConfiguration(path, opened);
    ASSERT_EQ(opened.tileSources.size(), 2u);
    EXPECT_EQ(opened.tileSources[0].name, "Good");
    EXPECT_EQ(opened.tileSources[0].maxZoom, 18);
    EXPECT_EQ(opened.tileSources[1].name, "Default zoom");
    EXPECT_EQ(opened.tileSources[1].maxZoom, 19);
}

}  // namespace
}  // namespace varistrum
