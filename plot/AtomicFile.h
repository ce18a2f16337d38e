// Writes a whole file or nothing: the bytes go to a new file beside the
// target, which replaces the target only once every byte is written and on
// the disk. A full disk, a file-size limit or a missing directory leave an
// old target as it was and no temporary file behind. Qt-free.
#pragma once

#include <string>
#include <string_view>

namespace plot {

// False with "cannot write PATH: REASON" in `error` (the system's words).
// While it writes, SIGXFSZ is ignored, so a file-size limit fails the write
// instead of killing the process; the signal's action is the process's, so
// two threads must not write at once.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

}  // namespace plot
