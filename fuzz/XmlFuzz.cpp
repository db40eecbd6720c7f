// Arbitrary bytes as an XML document: loading must either succeed or raise the read error;
// a loaded tree must be walkable; a document that saves must load again with the same text.
#include "xmlParser.h"

#include "Errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using quorvel::TXmlItem;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "XmlFuzz: %s\n", what);
  std::abort();
}

std::size_t Walk(TXmlItem* item, int depth) {
  std::size_t seen = 1;
  const std::string name = item->Name();
  (void)item->Text();
  (void)item->Params().Count();
  (void)item->Params().GetValue("name");
  Check(item->Find(name) == item, "an item does not find its own name");
  for (const char* wanted : {"item", "Root", "#text", "Элемент"}) {
    TXmlItem* found = item->Find(wanted);
    Check(!found || found == item || found->Parent() == item, "Find went deeper than one level");
    try {
      (void)item->GetInt(wanted);
      (void)item->GetBool(wanted);
    } catch (const quorvel::Exception&) {
    }
  }
  for (int i = 0; i < item->Count(); ++i) {
    Check(item->Items(i)->Parent() == item, "child with a wrong parent");
    seen += Walk(item->Items(i), depth + 1);
  }
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quorvel::TXmlParser parser;
  try {
    parser.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xml");
  } catch (const quorvel::Exception& e) {
    const std::string_view prefix = quorvel::kXmlReadError;
    Check(std::string_view(e.what()).substr(0, prefix.size()) == prefix, "load error without its text");
    return 0;
  }
  Walk(parser.Root(), 0);
  std::string saved;
  try {
    saved = parser.SaveToText();
  } catch (const quorvel::EEncodingError&) {
    return 0;  // names or comments windows-1251 cannot hold are refused, not mangled
  }
  quorvel::TXmlParser again;
  try {
    again.LoadFromText(saved, "saved.xml");
  } catch (const quorvel::Exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Check(false, "a saved document does not load again");
  }
  Check(again.Root()->Name() == parser.Root()->Name(), "root name changed by a save");
  Check(again.Root()->Text() == parser.Root()->Text(), "text changed by a save");
  return 0;
}
