#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

struct TScriptError;

// A script is kept and checked with CR LF line ends (the checker counts lines at CR), while
// text editors and files written on Linux hold LF alone. These helpers move a text between
// the two forms and carry the checker's error positions over to the editor's form.

/// The text with every LF that has no CR before it preceded by one (CR LF and lone CR stay).
/// UTF-8 in, UTF-8 out.
std::string ScriptTextToCrLf(std::string_view text);

/// The text with CR LF and lone CR made LF, as a plain-text editor holds it.
std::string ScriptTextToLf(std::string_view text);

/// 0-based character offset, in the LF form of checkedText (ScriptTextToLf), of the checker's
/// 1-based position pos in checkedText (the UTF-8 text given to TScriptDef::Check). Characters
/// are counted, not bytes: a Cyrillic letter is one. A position past the end gives the length
/// of the LF form; one below 1 gives 0.
std::int32_t ScriptEditorOffset(std::string_view checkedText, std::int32_t pos);

/// The characters of an error's token in the editor's LF text: [Start, End).
struct TScriptSelection {
  std::int32_t Start = 0;
  std::int32_t End = 0;
};

/// The selection of error's token (its StartPos and EndPos in checkedText) in the LF form.
TScriptSelection ScriptErrorSelection(std::string_view checkedText, const TScriptError& error);

}  // namespace quorvel
