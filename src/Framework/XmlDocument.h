#pragma once
// Loads a TinyXML document through the engine's file reader, so XML descriptions
// come from loose files or the packs like every other data file.

#include <tinyxml.h>

// Clears the document, names it after the file and parses the file's bytes.
// False when the file cannot be read (error "Failed to open file"), when it is
// empty (no error set), or when parsing reports an error.
bool LoadXmlDocument(TiXmlDocument& document, const char* fileName, TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING);
