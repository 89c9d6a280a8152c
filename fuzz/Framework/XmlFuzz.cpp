// An XML description read through the file layer's adapter and walked as the loaders walk it.

#include "Framework/PLog.h"
#include "Framework/XmlDocument.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// Visits every node and attribute, reading their texts.
std::size_t Walk(const TiXmlNode* node, int depth) {
    std::size_t seen = 0;
    for (const TiXmlNode* child = node->FirstChild(); child; child = child->NextSibling()) {
        ++seen;
        seen += std::string(child->Value()).size() > 0 ? 1 : 0;
        if (const TiXmlElement* element = child->ToElement()) {
            for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
                int number = 0;
                double value = 0;
                a->QueryIntValue(&number);
                a->QueryDoubleValue(&value);
                seen += std::string(a->Name()).size() + std::string(a->Value()).size();
            }
            if (const char* text = element->GetText()) seen += std::string(text).size();
        }
        if (depth < 1000) seen += Walk(child, depth + 1);
    }
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/description.xml", data, size);
    for (TiXmlEncoding encoding : {TIXML_DEFAULT_ENCODING, TIXML_ENCODING_UTF8, TIXML_ENCODING_LEGACY}) {
        TiXmlDocument document;
        if (LoadXmlDocument(document, "Data\\description.xml", encoding)) Walk(&document, 0);
    }
    return 0;
}
