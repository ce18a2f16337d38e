#include "InputText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace cli {
namespace {

constexpr std::string_view kStandardInputName = "<stdin>";
constexpr std::size_t kChunkBytes = std::size_t{1} << 16;

// Thread-safe, unlike strerror: batch workers read files at the same time.
std::string SystemErrorText(int error) { return std::generic_category().message(error); }

}  // namespace

InputFile::InputFile(const std::string& path)
    : fd_(path == kStandardInputPath ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC)),
      owned_(path != kStandardInputPath) {
  if (fd_ < 0) error_ = InputName(path) + ": cannot open: " + SystemErrorText(errno);
}

InputFile::~InputFile() {
  if (owned_ && fd_ >= 0) close(fd_);
}

std::string InputName(std::string_view path) {
  return std::string(path == kStandardInputPath ? kStandardInputName : path);
}

InputRead ReadInputText(const std::string& path) {
  constexpr std::size_t limit = kMaxSystemFileBytes;
  const std::string name = InputName(path);
  const InputFile fd(path);
  if (fd.Get() < 0) return InputRead{std::nullopt, fd.Error()};

  struct stat info {};
  if (fstat(fd.Get(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return InputRead{std::nullopt, name + ": is a directory"};
    if (S_ISREG(info.st_mode) && static_cast<std::size_t>(info.st_size) > limit)
      return InputRead{std::nullopt, TooLargeMessage(name)};
  }

  std::string text;
  while (true) {
    const std::size_t used = text.size();
    text.resize(used + kChunkBytes);
    const ssize_t got = read(fd.Get(), text.data() + used, kChunkBytes);
    if (got < 0) {
      if (errno == EINTR) {
        text.resize(used);
        continue;
      }
      return InputRead{std::nullopt, name + ": cannot read: " + SystemErrorText(errno)};
    }
    text.resize(used + static_cast<std::size_t>(got));
    if (text.size() > limit) return InputRead{std::nullopt, TooLargeMessage(name)};
    if (got == 0) return InputRead{std::move(text), {}};
  }
}

SystemFileRead LoadSystemFile(const std::string& path) {
  InputRead input = ReadInputText(path);
  if (!input.text) return SystemFileRead{std::nullopt, std::move(input.error)};
  return ParseSystemFile(InputName(path), *input.text);
}

}  // namespace cli
