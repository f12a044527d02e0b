// SPDX-License-Identifier: GPL-3.0-or-later
// A tile server on 127.0.0.1 for the tests (tests/map/tile_server.py): it serves the tiles a
// test writes into its folder and records each request with its User-Agent.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/test_files.h"

namespace varistrum::test {

class TileServer {
  public:
    TileServer();
    ~TileServer();
    TileServer(const TileServer&) = delete;
    TileServer& operator=(const TileServer&) = delete;

    bool Running() const { return port_ > 0; }
    // "http://127.0.0.1:PORT/{z}/{x}/{y}.png"
    std::string UrlTemplate() const;
    // Where tile z/x/y is served from, and the tile served for any other.
    std::string TilePath(int z, long long x, long long y) const;
    std::string DefaultTilePath() const { return dir_.File("tiles/default.png"); }

    struct Request {
        std::string path;  // "/16/32763/21796.png"
        std::string userAgent;
    };
    std::vector<Request> Requests() const;

  private:
    TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// Points the process's tile cache at `folder` (XDG_CACHE_HOME) and keeps requests to the
// loopback address off any proxy.
void UseTileCache(const std::string& folder);

}  // namespace varistrum::test
