// SPDX-License-Identifier: GPL-3.0-or-later
// The tests' tile server: a Python http.server child on the loopback address.
#include "support/tile_server.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace varistrum::test {

TileServer::TileServer() {
    std::filesystem::create_directories(dir_.File("tiles"));
    const std::string script = std::string(VARISTRUM_SOURCE_DIR) + "/tests/map/tile_server.py";
    std::vector<std::string> arguments = {"/usr/bin/python3", script, dir_.File("tiles"),
                                          dir_.File("requests.log"), dir_.File("port")};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
        return;
    }
    for (int wait = 0; wait < 200 && port_ == 0; ++wait) {
        std::ifstream port(dir_.File("port"));
        if (!(port >> port_)) {
            port_ = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

TileServer::~TileServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

std::string TileServer::UrlTemplate() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/{z}/{x}/{y}.png";
}

std::string TileServer::TilePath(int z, long long x, long long y) const {
    const std::string folder = dir_.File("tiles/" + std::to_string(z) + "/" + std::to_string(x));
    std::filesystem::create_directories(folder);
    return folder + "/" + std::to_string(y) + ".png";
}

std::vector<TileServer::Request> TileServer::Requests() const {
    std::vector<Request> requests;
    std::ifstream log(dir_.File("requests.log"));
    std::string line;
    while (std::getline(log, line)) {
        const std::size_t tab = line.find('\t');
        requests.push_back(
            {line.substr(0, tab), tab == std::string::npos ? std::string() : line.substr(tab + 1)});
    }
    return requests;
}

void UseTileCache(const std::string& folder) {
    ::setenv("XDG_CACHE_HOME", folder.c_str(), 1);
    for (const char* proxy :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(proxy);
    ::setenv("no_proxy", "127.0.0.1,localhost", 1);
}

}  // namespace varistrum::test
