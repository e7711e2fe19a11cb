// Byte-exact capture of request heads as they come off the socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace filestore::capture {

constexpr std::size_t kKeptHead = 65536;        // bytes of a head kept for the recording
constexpr std::size_t kMaxHead = 1024 * 1024;   // a head longer than this without its end is cut off

// Selects where heads come from: plain recv, or SSL_read for TLS connections.
void Enable(bool tls);

struct Head {
  std::uint64_t connection = 0;
  std::string bytes;       // the first kKeptHead bytes
  std::size_t size = 0;    // the whole head's length
  bool complete = false;   // the blank line was seen
  bool cut = false;        // passed kMaxHead: the connection was ended
  bool ended = false;      // EndConnection was called
};

// The head of the request being served on this thread.
Head Current();
// The reply is out: the next bytes on this connection start a new head.
void NextRequest();
// Reads on this thread's connection see its end from now on, so a body that is refused is not read: the
// library answers and closes instead of taking the rest of the body for the next request.
void EndConnection();

}  // namespace filestore::capture
