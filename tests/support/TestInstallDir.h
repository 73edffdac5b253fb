#pragma once
// A private install folder for one test: a fresh directory named after the
// process and the running test, holding copies of the named data files from
// the source tree's data/ folder, and set as the program's install folder;
// and what tests plant under a file name to try the readers.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>

namespace qel::test {

// Empty path (and a test failure) when the source tree is unknown.
std::filesystem::path MakeTestInstallDir(const std::string& prefix, std::initializer_list<const char*> dataFiles);

// Runs `read` with a FIFO made at `fifo`. A reader that opened the FIFO and
// waited for a writer is set free after the wait limit by a writer that closes at
// once; the result says whether that was needed (false: the reader waited).
bool ReturnsWithoutAWriter(const std::filesystem::path& fifo, const std::function<void()>& read);

// Plants a link at `planted` (a name a save could write through) to a file of
// the user's, then to one they could not otherwise write (read-only), and runs
// `save` each time. True when both saves succeeded and left the link and the
// file it points to as they were.
bool SavesPastALinkPlantedAt(const std::filesystem::path& planted, const std::function<bool()>& save);

// Bytes this process has read through read() so far ("rchar" of /proc/self/io),
// less the bytes of reading that count itself.
std::uint64_t BytesReadSoFar();

}  // namespace qel::test
