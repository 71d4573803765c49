#include "run/run_record.h"

void CopyRecordText(char16_t (&to)[kRecordTextCharacters + 1],
                    const char16_t* text, std::size_t length) {
  if (length > kRecordTextCharacters) length = kRecordTextCharacters;
  for (std::size_t i = 0; i < length; ++i) to[i] = text[i];
  to[length] = u'\0';
}
