#include "ScriptText.h"

#include "ScriptDef.h"

namespace quorvel {

namespace {

// A byte that continues a UTF-8 sequence rather than starting a character.
bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

std::string ScriptTextToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
    out.push_back(text[i]);
  }
  return out;
}

std::string ScriptTextToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out.push_back(text[i]);
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out.push_back('\n');  // a lone CR ends a line for the checker too
    }
  }
  return out;
}

std::int32_t ScriptEditorOffset(std::string_view checkedText, std::int32_t pos) {
  // The checker's positions count windows-1251 characters, one byte each; here every UTF-8
  // character is one, and a CR that the LF form drops (the one before an LF) is none.
  std::int32_t checked = 0;
  std::int32_t editor = 0;
  for (std::size_t i = 0; i < checkedText.size() && checked < pos - 1; ++i) {
    const char c = checkedText[i];
    if (IsContinuation(c)) continue;
    ++checked;
    const bool droppedCr = c == '\r' && i + 1 < checkedText.size() && checkedText[i + 1] == '\n';
    if (!droppedCr) ++editor;
  }
  return editor;
}

TScriptSelection ScriptErrorSelection(std::string_view checkedText, const TScriptError& error) {
  TScriptSelection selection;
  selection.Start = ScriptEditorOffset(checkedText, error.StartPos);
  selection.End = ScriptEditorOffset(checkedText, error.EndPos);
  if (selection.End < selection.Start) selection.End = selection.Start;
  return selection;
}

}  // namespace quorvel
