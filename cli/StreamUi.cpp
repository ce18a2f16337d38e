#include "StreamUi.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace cli {
namespace {

// Text gathered before whole lines are written without a flush.
constexpr std::size_t kOutputBlockBytes = std::size_t{1} << 16;

}  // namespace

FileDescriptorOutput::~FileDescriptorOutput() { sync(); }

FileDescriptorOutput::int_type FileDescriptorOutput::overflow(int_type c) {
  if (error_ != 0) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  pending_ += traits_type::to_char_type(c);
  WriteWholeLinesIfLarge();
  return error_ == 0 ? c : traits_type::eof();
}

std::streamsize FileDescriptorOutput::xsputn(const char* text, std::streamsize count) {
  if (error_ != 0) return 0;
  pending_.append(text, static_cast<std::size_t>(count));
  WriteWholeLinesIfLarge();
  return error_ == 0 ? count : 0;
}

int FileDescriptorOutput::sync() {
  if (error_ != 0) return -1;
  return WriteOut(pending_.size()) ? 0 : -1;
}

void FileDescriptorOutput::WriteWholeLinesIfLarge() {
  if (pending_.size() <= kOutputBlockBytes) return;
  const std::size_t lastLineEnd = pending_.rfind('\n');
  if (lastLineEnd != std::string::npos) WriteOut(lastLineEnd + 1);
}

bool FileDescriptorOutput::WriteOut(std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const ssize_t wrote = write(fd_, pending_.data() + done, count - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      error_ = wrote < 0 ? errno : EIO;
      pending_.clear();
      pending_.shrink_to_fit();
      return false;
    }
    done += static_cast<std::size_t>(wrote);
  }
  pending_.erase(0, count);
  return true;
}

std::string OutputFailureText(const std::ostream& out) {
  const auto* output = dynamic_cast<const FileDescriptorOutput*>(out.rdbuf());
  const int error = output != nullptr ? output->Error() : 0;
  if (error == EPIPE) return {};
  std::string text = "cannot write the output";
  // Thread-safe, unlike strerror.
  if (error != 0) text += ": " + std::generic_category().message(error);
  return text;
}

void StreamUi::PrintLine(std::string_view line) {
  if (log_ != nullptr) *log_ << line << '\n';
}

void StreamUi::ShowMessage(std::string_view text) {
  ++messages_shown_;
  // Flushed at once so that messages keep their place among the log lines
  // when both streams go to one terminal.
  messages_ << OneLine(text) << std::endl;
}

std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += ' ';
    } else if (c == '\n') {
      line += ' ';
    } else {
      line += c;
    }
  }
  return line;
}

}  // namespace cli
