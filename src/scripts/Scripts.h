#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TScripts;

/// Messages of the script list rules.
inline constexpr const char* kScriptNotEditableMessage = "Изменение скрипта невозможно";
inline constexpr const char* kScriptNumberNotUniqueMessage = "Неуникальный номер скрипта";

/// One input script: a numbered text in the terminal's script language.
/// Threads: model objects are used by one thread at a time.
class TScript {
 public:
  /// Smallest and largest number of a user script.
  static constexpr std::int32_t kMinUserNumber = 10;
  static constexpr std::int32_t kMaxUserNumber = 2000;

  /// An editable script numbered 0 without a list (scripts of a list come from
  /// TScripts::AddNew / AddFixed).
  TScript() = default;
  TScript(const TScript&) = delete;
  TScript& operator=(const TScript&) = delete;

  /// The script's identifier on the terminal.
  std::int32_t Number() const { return number_; }
  /// The display name.
  const std::string& Name() const { return name_; }
  /// The script source (lines separated by CR LF).
  const std::string& Text() const { return text_; }
  /// False for the two built-in scripts.
  bool Editable() const { return editable_; }
  /// The list the script is in, or nullptr.
  TScripts* Owner() const { return owner_; }
  /// Position in the owner list, -1 without one.
  int Index() const;

  /// CheckEditable; nothing happens when n is the current number; n outside 10..2000 raises
  /// "Неверный номер скрипта (<n>)\r\nДопустимые значения: 10..2000"; a number another script of
  /// the list has raises kScriptNumberNotUniqueMessage; else n is stored.
  void SetNumber(std::int32_t n);
  /// CheckEditable, then stores the name.
  void SetName(std::string_view name);
  /// CheckEditable, then stores the text.
  void SetText(std::string_view text);
  /// Raises Exception kScriptNotEditableMessage for a built-in script.
  void CheckEditable() const;
  /// Copies number, name and text without any check (editability and list stay).
  void Assign(const TScript& other);

 private:
  friend class TScripts;
  std::int32_t number_ = 0;
  std::string name_;
  std::string text_;
  TScripts* owner_ = nullptr;
  bool editable_ = true;
};

/// The input scripts of one payment system: always the two built-in scripts 0 "Ввод номера"
/// and 1 "Ввод счета", then user scripts numbered 10..2000, unique, at most kMaxScripts in all.
/// Owns its scripts.
/// Threads: model objects are used by one thread at a time.
class TScripts {
 public:
  /// Most scripts a list holds, the built-in ones included.
  static constexpr int kMaxScripts = 120;

  /// A list holding the two built-in scripts.
  TScripts();
  ~TScripts();
  TScripts(const TScripts&) = delete;
  TScripts& operator=(const TScripts&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// The script at position index; index must satisfy IsValidIndex.
  TScript& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  /// True for 0 <= index < Count().
  bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
  /// Position of the script in this list, or -1.
  int IndexOf(const TScript& script) const;

  /// With kMaxScripts scripts present raises "Количество скриптов ввода не может быть больше
  /// 120" and adds nothing; otherwise appends an editable script numbered FirstFreeNumber.
  TScript& AddNew();
  /// AddNew, then sets number, name and text without checks and makes the script read-only.
  TScript& AddFixed(std::int32_t number, std::string_view name, std::string_view text);
  /// The smallest number 10..2000 no script of the list uses (2000 when all are used).
  std::int32_t FirstFreeNumber() const;
  /// The first script with that number, or nullptr.
  TScript* FindByNumber(std::int32_t number) const;
  /// Orders the scripts by ascending number (equal numbers keep their order).
  void Sort();
  /// Frees the script (the editor's cancelled new script, the page's delete). A script of
  /// another list is ignored.
  void Delete(const TScript& script);
  /// Frees every editable script; the built-in ones stay.
  void ClearEditable();
  /// True when any script is editable.
  bool HasEditable() const;
  /// Frees all scripts, the built-in ones too.
  void Clear();

  /// The selected position the scripts page keeps across refreshes.
  std::int32_t ItemIndex = 0;

 private:
  std::vector<std::unique_ptr<TScript>> items_;
};

}  // namespace quorvel
