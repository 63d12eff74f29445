// transcript: captures what a call prints, channel by channel, in order.
//
//   transcript ('start')   from now on, capture the process's standard output
//                          and the interpreter's console (mexPrintf)
//   t = transcript ('stop')  end the capture; t is an N-by-2 cell of
//                          {'out' or 'con', text}, neighbours of one channel
//                          merged
//   n = transcript ('pending')  bytes waiting in the C stdout buffer
//
// Both channels end up in the C library's stdout in octave-cli, so the
// console stream is re-routed through a buffer that wraps each piece in
// marker bytes before writing it to stdout; stdout itself is pointed at a
// temporary file. The order of the two channels is kept exactly.
#include <octave/oct.h>
#include <octave/Cell.h>
#include <octave/pager.h>

#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <streambuf>
#include <string>
#include <vector>

namespace {

constexpr char kConsoleStart = '\x01';
constexpr char kConsoleEnd = '\x02';

class ConsoleTag : public std::streambuf {
 protected:
  int overflow(int c) override {
    if (c != EOF) {
      const char ch = static_cast<char>(c);
      xsputn(&ch, 1);
    }
    return c;
  }
  std::streamsize xsputn(const char *s, std::streamsize n) override {
    std::fputc(kConsoleStart, stdout);
    std::fwrite(s, 1, static_cast<std::size_t>(n), stdout);
    std::fputc(kConsoleEnd, stdout);
    return n;
  }
};

ConsoleTag console_tag;
std::streambuf *saved_console = nullptr;
std::FILE *capture = nullptr;
int saved_stdout = -1;

Cell split(const std::string &bytes) {
  std::string order;  // channel of each merged piece
  std::vector<std::string> pieces;
  bool console = false;
  std::string current;
  auto flush_piece = [&](bool was_console) {
    if (current.empty()) return;
    const char channel = was_console ? 'c' : 'o';
    if (!order.empty() && order.back() == channel) pieces.back() += current;
    else {
      order += channel;
      pieces.push_back(current);
    }
    current.clear();
  };
  for (char ch : bytes) {
    if (ch == kConsoleStart || ch == kConsoleEnd) {
      flush_piece(console);
      console = ch == kConsoleStart;
    } else {
      current += ch;
    }
  }
  flush_piece(console);
  Cell result(pieces.size(), 2);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    result(i, 0) = order[i] == 'c' ? "con" : "out";
    result(i, 1) = pieces[i];
  }
  return result;
}

}  // namespace

DEFUN_DLD(transcript, args, , "transcript ('start' | 'stop' | 'pending')")
{
  const std::string command = args(0).string_value();
  std::ostream &console = octave_stdout;
  if (command == "pending") return octave_value(double(__fpending(stdout)));
  if (command == "start") {
    if (capture != nullptr) error("transcript: already capturing");
    console.flush();
    std::fflush(stdout);
    capture = std::tmpfile();
    saved_stdout = dup(1);
    dup2(fileno(capture), 1);
    saved_console = console.rdbuf(&console_tag);
    return octave_value();
  }
  if (command == "stop") {
    if (capture == nullptr) error("transcript: not capturing");
    console.flush();
    std::fflush(stdout);
    console.rdbuf(saved_console);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    std::string bytes;
    std::rewind(capture);
    char block[4096];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, capture)) > 0) bytes.append(block, n);
    std::fclose(capture);
    capture = nullptr;
    return octave_value(split(bytes));
  }
  error("transcript: unknown command '%s'", command.c_str());
}
