// Case generator for the stress harness: working files, names, reply lines and macro files.
#include "tests/stress/case_gen.h"

#include <algorithm>

#include "tests/stress/scan_gen.h"

namespace x17b_stress {
namespace {

// Name pools. No name is absolute or climbs out of the working directory: the name dialogue and
// the macro-name question take whole lines as names, and the program creates what it is told to.
// The devices are reached through links in the working directory instead: devfull (/dev/full,
// every write fails for want of space), devnull, and devstdin (/dev/stdin, a pipe here) only on
// request: opened for reading and writing, as an open without a mode is, a pipe gets a writer in
// the program itself and its input never ends. devfull is never offered as the scan file, whose
// first line would never end. Printer and serial device names (PRN, LPT1, COM1, AUX, LINE) are
// left out: on this platform they would reach real devices of the machine.
const std::string kLongName = std::string(300, 'n') + ".pavo";

std::vector<std::string> ScanNames(bool unprivileged, bool pipeNames) {
  std::vector<std::string> names{
      "scan.dat", "scan.dat",   "scan.dat",    "scan.dat", "scan.dat",      "scan.dat",
      "SCAN.DAT", "./scan.dat", "missing.dat", ".",        "sub",           "sub/",
      "devnull",  "CON",        "con.txt",     "USER",     "NUL",           "nul.dat",
      "ERR",      "second.dat", "long.pavo",   "play.mac", "nodir/scan.dat"};
  if (unprivileged) names.insert(names.end(), {"secret.dat", "secret.dat", "rodir"});
  if (pipeNames) names.push_back("devstdin");
  return names;
}

std::vector<std::string> OutputNames(bool unprivileged) {
  std::vector<std::string> names{"out.pavo",
                                 "out.pavo",
                                 "out.pavo",
                                 "out.pavo",
                                 "out.pavo",
                                 "OUT.PAVO",
                                 "out2.pavo",
                                 "long.pavo",
                                 "long.pavo",
                                 "nodir/out.pavo",
                                 "sub",
                                 "sub/x.pavo",
                                 "devfull",
                                 "devfull",
                                 "devnull",
                                 "NUL",
                                 "CON",
                                 "ERR",
                                 "con.pavo",
                                 "line.pavo",
                                 "err.pavo",
                                 "user.pavo",
                                 "scan.dat",
                                 "./scan.dat",
                                 "SCAN.DAT",
                                 kLongName,
                                 "\xfc\xe9.pavo",
                                 "out.pavo!note",
                                 "a,b.pavo",
                                 "/",
                                 "sub/../scan.dat"};
  if (unprivileged) names.insert(names.end(), {"ro.pavo", "ro.pavo", "rodir/out.pavo"});
  return names;
}

const std::vector<std::string> kRecordNames{"rec.mac",       "rec.mac",       "rec2.mac", "REC.MAC",
                                            "play.mac",      "devfull",       "scan.dat", "sub",
                                            "nodir/rec.mac", "rodir/rec.mac", "   "};
const std::vector<std::string> kPlayNames{"play.mac",  "play.mac",    "play.mac", "other.mac",
                                          "empty.mac", "missing.mac", "QUIT",     "QUITTER",
                                          "quit",      "sub",         "devnull",  "CON",
                                          "NUL",       "ERR",         "scan.dat", "rec.mac"};
const std::vector<std::string> kCommands{"@X", "@",  "@m", "@MACRO", " @M", "@Q",   "@q",
                                         "@r", "@R", "@@", "@?",     "@M ", "@Quit"};

std::string Padded(std::string text, std::size_t length, Rng& rng) {
  while (text.size() < length) text += ' ';
  if (rng.Chance(0.5) && !text.empty()) text.back() = 'x';
  return text;
}

// One way of answering both questions, as one or more reply lines.
std::vector<std::string> AnswerLines(Rng& rng, const std::string& scan, const std::string& out,
                                     bool plain) {
  // A plain case answers in one of the ways that deliver both names as typed.
  int variant = plain ? static_cast<int>(rng.Pick(std::vector<int64_t>{0, 3, 4, 5, 6, 13}))
                      : static_cast<int>(rng.Between(0, 21));
  switch (variant) {
    case 0:
    case 1:
    case 2:
      return {scan + " " + out};
    case 3:
      return {scan + "," + out};
    case 4:
      return {scan + "\t" + out};
    case 5:
      return {"   " + scan + "  ,  " + out + "   "};
    case 6:
      return {scan, out};
    case 7:
      return {scan + " !" + out, out};
    case 8:
      return {scan + "!" + out};
    case 9:
      return {"," + out};
    case 10:
      return {scan + " ," + out, out};
    case 11:
      return {scan + "/ " + out};
    case 12:
      return {"/", out};
    case 13:
      return {scan + " " + out + " extra fields, here"};
    case 14:
      return {""};
    case 15:
      return {"!only a comment", scan + " " + out};
    case 16:
      return {scan, ""};
    case 17:
      return {scan + std::string(static_cast<std::size_t>(rng.Between(60, 200)), 'q'), out};
    case 18:
      // Lines around the terminal's 130-character limit and the line variable's 132 columns.
      return {Padded(scan + " " + out, static_cast<std::size_t>(rng.Between(128, 134)), rng)};
    case 19:
      return {Padded(scan + " " + out, static_cast<std::size_t>(rng.Between(135, 6000)), rng)};
    case 20:
      return {rng.LineNoise(static_cast<std::size_t>(rng.Between(0, 150))), scan, out};
    default:
      return {scan + ",," + out, "", out};
  }
}

// An "@" command with what it asks for next.
std::vector<std::string> CommandLines(Rng& rng, bool pipeNames) {
  switch (rng.Between(0, 5)) {
    case 0:
      return {rng.Pick(std::vector<std::string>{"@M", "@m", "@MACRO"}), rng.Pick(kRecordNames)};
    case 1:
      return {"@Q"};
    case 2: {
      std::string name = pipeNames && rng.Chance(0.1) ? "devstdin" : rng.Pick(kPlayNames);
      std::vector<std::string> lines{"@R", name};
      // A name that does not open makes the question repeat; usually end it, so that the lines
      // after it are not all taken as macro names.
      if (rng.Chance(0.8)) {
        lines.push_back(rng.Pick(std::vector<std::string>{"QUIT", "QUIT", "QUITTER", "play.mac"}));
      }
      return lines;
    }
    default:
      return {rng.Pick(kCommands)};
  }
}

std::string JoinLines(const std::vector<std::string>& lines, const char* eol) {
  std::string bytes;
  for (const std::string& line : lines) bytes += line + eol;
  return bytes;
}

std::string MacroFile(Rng& rng, const CaseOptions& options, bool unprivileged) {
  std::vector<std::string> lines = MakeReplyLines(rng, options, unprivileged, rng.Chance(0.3));
  if (rng.Chance(0.3)) lines.insert(lines.begin(), "! a macro made by hand");
  if (rng.Chance(0.2))
    lines.push_back(rng.LineNoise(static_cast<std::size_t>(rng.Between(0, 300))));
  if (rng.Chance(0.1)) lines.insert(lines.begin(), {"@R", "other.mac"});
  return JoinLines(lines, rng.Chance(0.3) ? "\r\n" : "\n");
}

std::string ExistingOutput(Rng& rng) {
  std::string bytes;
  int records = static_cast<int>(rng.Between(0, 40));
  for (int r = 0; r < records; ++r)
    bytes += std::string(80, static_cast<char>('A' + r % 26)) + "\r\n";
  if (rng.Chance(0.3)) bytes += rng.LineNoise(static_cast<std::size_t>(rng.Between(1, 81)));
  return bytes;
}

}  // namespace

std::vector<std::string> MakeReplyLines(Rng& rng, const CaseOptions& options, bool unprivileged,
                                        bool plain) {
  if (plain) {
    std::string out = rng.Pick(
        std::vector<std::string>{"out.pavo", "out.pavo", "long.pavo", "OUT.PAVO", "devnull"});
    return AnswerLines(rng, "scan.dat", out, true);
  }
  // Plain names half of the time, so that many runs get as far as the conversion.
  std::string scan =
      rng.Chance(0.5) ? "scan.dat" : rng.Pick(ScanNames(unprivileged, options.pipeNames));
  std::string out = rng.Chance(0.5) ? "out.pavo" : rng.Pick(OutputNames(unprivileged));
  if (rng.Chance(0.05)) out = scan;  // the same file twice
  std::vector<std::string> lines;
  int commandsBefore = rng.Chance(0.3) ? static_cast<int>(rng.Between(1, 3)) : 0;
  for (int i = 0; i < commandsBefore; ++i) {
    auto more = CommandLines(rng, options.pipeNames);
    lines.insert(lines.end(), more.begin(), more.end());
  }
  auto answers = AnswerLines(rng, scan, out, false);
  if (rng.Chance(0.15) && answers.size() > 1) {
    // A command between the two answers.
    auto more = CommandLines(rng, options.pipeNames);
    answers.insert(answers.begin() + 1, more.begin(), more.end());
  }
  lines.insert(lines.end(), answers.begin(), answers.end());
  // Lines for the name dialogue, or never read at all.
  int after = static_cast<int>(rng.Between(0, 3));
  for (int i = 0; i < after; ++i) {
    lines.push_back(rng.Pick(std::vector<std::string>{"", "   ", out, scan, "@Q", "x.pavo"}));
  }
  return lines;
}

std::string ForTerminal(const std::string& input) {
  std::string typed;
  std::size_t column = 0;
  for (char c : input) {
    if (c == '\n') {
      column = 0;
    } else if (++column > 1000) {
      continue;  // the terminal's line buffer holds 4095 characters; keep well inside it
    }
    typed += c;
  }
  if (!typed.empty() && typed.back() != '\n') typed += '\n';
  return typed + std::string(6, '\x04');  // end of input, once per read that may still come
}

Case MakeCase(Rng& rng, const CaseOptions& options) {
  Case c;
  c.pty = rng.Chance(options.ptyShare);
  c.unprivileged = rng.Chance(options.unprivilegedShare);
  // A plain case types two good names and converts a scan that is seldom hostile: the runs that
  // reach the conversion check the written records most closely.
  bool plain = rng.Chance(0.4);
  std::string scanNote;
  std::string scan = MakeScanFile(rng, plain ? 0.1 : 0.5, scanNote);
  auto file = [&](std::string path, std::string bytes, int mode = 0644) {
    c.files.push_back(CaseFile{std::move(path), std::move(bytes), mode, false, ""});
  };
  auto directory = [&](std::string path, int mode) {
    c.files.push_back(CaseFile{std::move(path), "", mode, true, ""});
  };
  auto link = [&](std::string path, std::string target) {
    c.files.push_back(CaseFile{std::move(path), "", 0, false, std::move(target)});
  };
  file("scan.dat", scan);
  if (rng.Chance(0.3)) {
    std::string ignored;
    file("second.dat", MakeScanFile(rng, 0.3, ignored));
  }
  if (rng.Chance(0.5)) file("long.pavo", ExistingOutput(rng));
  if (rng.Chance(0.6)) file("play.mac", MacroFile(rng, options, c.unprivileged));
  if (rng.Chance(0.3)) file("other.mac", MacroFile(rng, options, c.unprivileged));
  if (rng.Chance(0.2)) file("empty.mac", "");
  link("devfull", "/dev/full");
  link("devnull", "/dev/null");
  if (options.pipeNames) link("devstdin", "/dev/stdin");
  if (rng.Chance(0.4)) directory("sub", 0755);
  if (c.unprivileged) {
    file("secret.dat", scan, 0000);
    file("ro.pavo", ExistingOutput(rng), 0444);
    directory("rodir", 0555);
    file("rodir/inside.txt", "kept\n");
  }

  std::vector<std::string> lines = MakeReplyLines(rng, options, c.unprivileged, plain);
  std::string input = JoinLines(lines, rng.Chance(0.15) ? "\r\n" : "\n");
  if (rng.Chance(0.1)) {
    input.pop_back();  // the last reply without its line end
  }
  // A damaged reply could turn "/" into an absolute name; only inputs without one are damaged.
  if (!plain && rng.Chance(0.1) && input.find('/') == std::string::npos) Mutate(rng, input);
  if (!plain && rng.Chance(0.05)) {
    // The scan itself typed on the console after the names.
    input = "CON out.pavo\n" + scan;
  }
  c.input = c.pty ? ForTerminal(input) : input;

  int argc = !plain && rng.Chance(0.4) ? static_cast<int>(rng.Between(1, 3)) : 0;
  for (int i = 0; i < argc; ++i) {
    c.args.push_back(rng.Chance(0.5) ? rng.Pick(ScanNames(c.unprivileged, options.pipeNames))
                                     : rng.Pick(std::vector<std::string>{
                                           "out.pavo", "", "   ", "  scan.dat  ", "a b.pavo",
                                           "devfull", "long.pavo", "CON", "sub"}));
  }
  c.note = std::string(c.pty ? "pty" : "pipe") + (c.unprivileged ? " nobody" : "") +
           (plain ? " plain" : "") + "; scan: " + scanNote + "; " + std::to_string(lines.size()) +
           " reply lines; " + std::to_string(c.args.size()) + " args";
  return c;
}

}  // namespace x17b_stress
