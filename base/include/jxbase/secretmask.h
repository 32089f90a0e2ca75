// Secrets kept out of the log and the trace: every line that writes a command line or an argument
// text passes it through MaskProtectedArguments first.
#pragma once

#include <string>
#include <string_view>

// What stands in the log where a protected value was.
inline constexpr char16_t kMaskedSecret[] = u"********";

// A protected name: "__NAME", also behind a lock prefix ("§__NAME", "@__NAME"), and "_AccessKey"
// (ignoring case), the access key handed to the setup.
bool IsProtectedName(std::u16string_view name);

// Remembers a protected value of this process (a "__" property as it expands, an access key, a
// token), so that it is masked wherever it appears in a masked text, also under another name.
void RememberSecret(std::u16string_view value);

// The text with every protected value replaced by kMaskedSecret:
// - the value of every NAME=VALUE whose NAME is protected, in every form the command line reader
//   takes ("/__X=v", "__X=v" as the first piece, "/§__X=v", "/@__X=v", "/__X= v", "/__X =v",
//   quoted values, unquoted values with blanks, a whole "/__X=a b" in quotes); the value runs to
//   the next blank or tab followed by "/" outside quotes, or to the end of the text;
// - every remembered value, wherever it stands.
// When in doubt it masks more than the reader would take as the value, never less.
std::u16string MaskProtectedArguments(std::u16string_view text);
