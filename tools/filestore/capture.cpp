// The HTTP library keeps neither the order nor the spelling of header lines, so the server takes the head
// from the bytes themselves: it interposes recv (and SSL_read for TLS) in its own process. The library
// serves one connection on one thread from its first byte to its close, so the state is per thread, and
// accept numbers the connections so that a reused descriptor starts afresh.
#undef _FORTIFY_SOURCE
#include "capture.h"

#include <dlfcn.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <atomic>

namespace filestore::capture {
namespace {

std::atomic<bool> g_tls{false};
constexpr int kMaxFd = 65536;
std::atomic<std::uint64_t> g_connection_of_fd[kMaxFd];
std::atomic<std::uint64_t> g_connections{0};

struct State {
  int fd = -1;
  std::uint64_t connection = 0;
  bool capturing = true;
  bool cut = false;
  std::size_t line_length = 0;  // bytes in the current line, CR not counted
  bool seen_request_line = false;
  Head head;
};
thread_local State t_state;

std::uint64_t ConnectionOf(int fd) { return fd >= 0 && fd < kMaxFd ? g_connection_of_fd[fd].load() : 0; }

State& StateFor(int fd) {
  std::uint64_t connection = ConnectionOf(fd);
  if (t_state.fd != fd || t_state.connection != connection) {
    t_state = State{};
    t_state.fd = fd;
    t_state.connection = connection;
    t_state.head.connection = connection;
  }
  return t_state;
}

// Returns false when the head has grown past kMaxHead: the read is then turned into an end of stream.
bool Feed(int fd, const char* data, std::size_t n) {
  State& st = StateFor(fd);
  if (st.cut || st.head.ended) return false;
  if (!st.capturing) return true;
  for (std::size_t i = 0; i < n; ++i) {
    char c = data[i];
    if (st.head.bytes.size() < kKeptHead) st.head.bytes += c;
    ++st.head.size;
    if (c == '\n') {
      if (st.line_length == 0 && st.seen_request_line) {
        st.head.complete = true;
        st.capturing = false;
        return true;
      }
      if (st.line_length > 0) st.seen_request_line = true;
      st.line_length = 0;
    } else if (c != '\r') {
      ++st.line_length;
    }
    if (st.head.size > kMaxHead) {
      st.cut = st.head.cut = true;
      return false;
    }
  }
  return true;
}

bool Ended(int fd) { return StateFor(fd).head.ended; }

template <class F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

void Enable(bool tls) { g_tls = tls; }

Head Current() { return t_state.head; }

void NextRequest() {
  if (t_state.cut || t_state.head.ended) return;
  int fd = t_state.fd;
  std::uint64_t connection = t_state.connection;
  t_state = State{};
  t_state.fd = fd;
  t_state.connection = connection;
  t_state.head.connection = connection;
}

void EndConnection() { t_state.head.ended = true; }

}  // namespace filestore::capture

using namespace filestore::capture;

extern "C" int accept(int fd, struct sockaddr* addr, socklen_t* len) {
  static auto real = Real<int (*)(int, struct sockaddr*, socklen_t*)>("accept");
  int s = real(fd, addr, len);
  if (s >= 0 && s < kMaxFd) g_connection_of_fd[s] = ++g_connections;
  return s;
}

extern "C" ssize_t recv(int fd, void* buf, size_t n, int flags) {
  static auto real = Real<ssize_t (*)(int, void*, size_t, int)>("recv");
  if (!g_tls && !(flags & MSG_PEEK) && Ended(fd)) return 0;
  ssize_t got = real(fd, buf, n, flags);
  if (got > 0 && !(flags & MSG_PEEK) && !g_tls && !Feed(fd, static_cast<const char*>(buf), static_cast<size_t>(got)))
    return 0;
  return got;
}

extern "C" int SSL_read(SSL* ssl, void* buf, int num) {
  static auto real = Real<int (*)(SSL*, void*, int)>("SSL_read");
  if (g_tls && Ended(SSL_get_fd(ssl))) return 0;
  int got = real(ssl, buf, num);
  if (got > 0 && g_tls && !Feed(SSL_get_fd(ssl), static_cast<const char*>(buf), static_cast<size_t>(got))) return 0;
  return got;
}
