// Arbitrary bytes as a configuration document: reading stops with an error or completes; no
// crash. Whatever the model holds afterwards must be saved as a document that loads again
// completely, and from then on saving and loading must not change it any more.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "Errors.h"
#include "xmlParser.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace {

using namespace quorvel;

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "AppDocFuzz: %s\n", what);
  std::abort();
}

std::unique_ptr<TAppDoc> NewDoc() {
  auto doc = std::make_unique<TAppDoc>("/nonexistent/quorvel-fuzz/Quorvel.xml");
  doc->SaveOnDestroy = false;
  return doc;
}

// The document's text; empty when it cannot be written (a value XML cannot carry).
std::string Save(const TAppDoc& doc) {
  TXmlParser parser;
  try {
    parser.SetRootName(kAppDocRootName);
    AppDocXml().WriteDocument(doc, *parser.Root());
    return parser.SaveToText();
  } catch (const Exception&) {
    return {};
  }
}

// Loads text into a fresh document, which must read completely.
std::string Reload(const std::string& text) {
  TXmlParser parser;
  parser.LoadFromText(text, "saved.xml");
  auto doc = NewDoc();
  try {
    AppDocXml().ReadDocument(*doc, *parser.Root());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    Check(false, "a saved document does not load completely");
  }
  return Save(*doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TXmlParser parser;
  try {
    parser.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.xml");
  } catch (const Exception&) {
    return 0;
  }
  auto doc = NewDoc();
  try {
    AppDocXml().ReadDocument(*doc, *parser.Root());
  } catch (const std::exception&) {
    // stops here; what was read stays
  }
  const std::string first = Save(*doc);
  if (first.empty()) return 0;
  // Numbers and line breaks may take their written form once; after that nothing changes.
  const std::string second = Reload(first);
  Check(!second.empty(), "a loaded document cannot be saved");
  Check(Reload(second) == second, "saving and loading changes the document");
  return 0;
}
