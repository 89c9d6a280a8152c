#include "Framework/XmlDocument.h"

#include "Framework/PFileReader.h"

#include <string>

bool LoadXmlDocument(TiXmlDocument& document, const char* fileName, TiXmlEncoding encoding) {
    document.Clear();
    document.ClearError();
    document.SetValue(fileName ? fileName : "");
    CPFileReader reader(fileName ? fileName : "", false);
    if (!fileName || reader.Load() != S_OK) {
        document.SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return false;
    }
    if (reader.GetDataSize() <= 0) return false;
    // Parse stops at a zero byte, so the text is terminated after the file's bytes. The XML
    // library steps over a whole UTF-8 sequence at once, past the terminator too when the file
    // ends inside one, and then reads on: a few more zero bytes keep every such step inside the
    // text, where it meets the end.
    constexpr std::size_t kZeroTail = 8;
    std::string text(reinterpret_cast<const char*>(reader.GetData()), static_cast<std::size_t>(reader.GetDataSize()));
    text.append(kZeroTail, '\0');
    document.Parse(text.c_str(), nullptr, encoding);
    return !document.Error();
}
