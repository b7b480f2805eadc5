// UPCASE: lower-case letters a to z to upper case, in place.
#include "subs/subs.h"

void UPCASE(std::span<char> text) {
  // Only the 26 ASCII letters change; bytes from 128 up and all other characters stay as they are.
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
}
