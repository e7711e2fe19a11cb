// filestore: the reference server of the file-store endpoint. See README.md.
#include <httplib.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "capture.h"
#include "manifest.h"
#include "server.h"

namespace {

[[noreturn]] void Usage(const std::string& problem) {
  std::fprintf(stderr,
               "filestore: %s\nusage: filestore --data DIR --port N [--host ADDR] [--pages DIR] [--seed MANIFEST]...\n"
               "                 [--port-file FILE] [--tls-cert FILE --tls-key FILE] [--max-body BYTES]\n"
               "                 [--threads N] [--quiet]\n",
               problem.c_str());
  std::exit(2);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

int main(int argc, char** argv) {
  std::string data, host = "127.0.0.1", port_file, cert, key;
  int port = -1;
  std::size_t threads = 64;
  std::vector<std::string> seeds;
  filestore::ServerOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--data") data = value();
      else if (a == "--port") port = std::stoi(value());
      else if (a == "--host") host = value();
      else if (a == "--pages") options.pages = value();
      else if (a == "--seed") seeds.push_back(value());
      else if (a == "--port-file") port_file = value();
      else if (a == "--tls-cert") cert = value();
      else if (a == "--tls-key") key = value();
      else if (a == "--max-body") options.max_body = std::stoull(value());
      else if (a == "--threads") threads = std::stoul(value());
      else if (a == "--quiet") options.quiet = true;
      else if (a == "--help" || a == "-h") Usage("help");
      else Usage("unknown option " + a);
    } catch (const std::logic_error&) {
      Usage("bad value for " + a);
    }
  }
  if (data.empty()) Usage("--data is required");
  if (port < 0 || port > 65535) Usage("--port is required (0 picks a free port)");
  if (cert.empty() != key.empty()) Usage("--tls-cert and --tls-key go together");
  if (threads < 2) threads = 2;
  options.host = host;

  // Signals are taken by one thread; the library's threads inherit the mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  try {
    filestore::Store store(data);
    for (auto& seed : seeds) {
      auto entries = filestore::ParseManifest(ReadFile(seed));
      int n = filestore::Seed(store, entries, std::filesystem::absolute(seed).parent_path());
      if (!options.quiet) std::fprintf(stderr, "filestore: seeded %d records from %s\n", n, seed.c_str());
    }

    std::unique_ptr<httplib::Server> server;
    if (!cert.empty()) server = std::make_unique<httplib::SSLServer>(cert.c_str(), key.c_str());
    else server = std::make_unique<httplib::Server>();
    if (!server->is_valid()) throw std::runtime_error("cannot set up the server (certificate or key unusable?)");
    filestore::capture::Enable(!cert.empty());
    server->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server->set_keep_alive_max_count(1000);
    server->set_read_timeout(30);
    server->set_write_timeout(30);

    filestore::FileStoreServer app(store, options);
    app.Install(*server);

    if (port == 0) {
      port = server->bind_to_any_port(host);
      if (port < 0) throw std::runtime_error("cannot bind to " + host);
    } else if (!server->bind_to_port(host, port)) {
      throw std::runtime_error("cannot bind to " + host + ":" + std::to_string(port));
    }
    if (!port_file.empty()) {
      std::string tmp = port_file + ".tmp";
      std::ofstream(tmp) << port << "\n";
      std::rename(tmp.c_str(), port_file.c_str());
    }
    std::printf("filestore: listening on %s:%d%s\n", host.c_str(), port, cert.empty() ? "" : " (https)");
    std::fflush(stdout);

    std::thread stopper([&server, stop_signals] {
      int sig = 0;
      sigwait(&stop_signals, &sig);
      server->stop();
      // Open keep-alive connections end within their timeout; do not wait for a stuck one.
      std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::_Exit(0);
      }).detach();
    });
    server->listen_after_bind();
    if (stopper.joinable()) {
      // listen ended without a signal (socket error): wake the stopper.
      if (server->is_running()) server->stop();
      pthread_kill(stopper.native_handle(), SIGTERM);
      stopper.join();
    }
    if (!options.quiet) std::fprintf(stderr, "filestore: stopped\n");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "filestore: %s\n", e.what());
    return 1;
  }
}
