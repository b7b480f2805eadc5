// The terminal dialogue: prompted replies, the line reader with macros, and small shared routines.
#pragma once

#include <cstdint>
#include <span>

/// The reply reader's saved state: the current typed line and the scan position in it.
struct RTERMDAT_t {
  int32_t IPOS;     // column where the next field search starts; 0 until a line has been read
  int32_t ILEN;     // length of the field found last (0 for an empty field)
  char LINE[132];   // the current input line, blank-padded
  char TOKEN[132];  // the field found last, followed by the character that ended it
};

/// The one instance, statically initialised to 0, 0, all blanks, all blanks.
extern RTERMDAT_t RTERMDAT;

/// Delivers one field of the typed input into `reply`, blank-padded or cut to its length.
/// Mode 0 always prompts with `prompt` and takes the first field of a new line; mode 2 takes the
/// next field of the current line and never reads another (a used-up line gives blanks); any other
/// mode takes the next field and reads a new line when that field is empty after column 1. An
/// empty field that begins with a comma leaves `reply` as the caller had it.
void REDTRMC(std::span<const char> prompt, const int32_t& mode, std::span<char> reply);

/// Takes the next field of `line` starting at column `position` (from 1): leading blanks and tabs
/// are skipped, and the field ends at a blank, tab or comma or at the last column, which is never
/// examined. `token` receives the field followed by the character that ended it, blank-padded or
/// cut; `length` receives the field's length and `position` the column after the ending one.
void EXTRACT(std::span<const char> line, int32_t& position, std::span<char> token, int32_t& length);

/// Writes `prompt` (its "|" characters end prompt lines, a grave accent ends it) followed by " >"
/// and delivers one line into `line`, blank-padded, with everything from its first "!" blanked.
/// Lines from the terminal or a played-back macro file that begin with "@" are macro commands and
/// are never delivered. Ends the run through FLGCHK when a read fails after a failed terminal read
/// in the same call; macro-file failures other than a missing playback file end the run through
/// the record layer's failure report.
void REDTRML(std::span<const char> prompt, std::span<char> line);

/// Converts the letters a to z of `text` to upper case in place; every other byte is unchanged.
void UPCASE(std::span<char> text);

/// Replaces `unit` by the first unit not connected, searching upwards from `unit` itself, or from
/// 11 when `unit` lies outside 11 to 90. The search may go past 90.
void GETUNIT(int32_t& unit);

/// Writes " FORTRAN error number", `status` (4 columns), " on unit", `unit` (3 columns) as one
/// console record and stops the run; the exit code is 0 for status 0 and 1 otherwise.
[[noreturn]] void FLGCHK(const int32_t& status, const int32_t& unit);
