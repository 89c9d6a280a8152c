#pragma once
// The rows of a sky, weather-phase, cloud-set or cloud-item file: the meaningful lines of a text
// file under "Data\Clouds\", each split at blanks with quotes; the first token of a row is a
// label nobody reads and the values follow. Rows are taken in order; past the end a row is
// empty and its values read 0, so a count read from the file is checked against the rows left.

#include <cstddef>
#include <string>
#include <vector>

#include "Platform/Math/D3DXTypes.h"

class SkyFileRows {
public:
    // False (and no rows) when the file cannot be read.
    bool Load(const std::string& name);
    // The same over text already in memory (tests).
    void LoadText(const std::string& text);

    // Moves to the next row (past the end: an empty row).
    SkyFileRows& Next();
    // The values of the current row (token 1 on), C-locale atoi / atof; 0 when absent.
    int Int(int index = 0) const;
    float Float(int index = 0) const;
    D3DXVECTOR3 Vector() const { return D3DXVECTOR3(Float(0), Float(1), Float(2)); }
    std::string Text(int index = 0) const;

    std::size_t Left() const { return m_next < m_lines.size() ? m_lines.size() - m_next : 0; }
    bool AtEnd() const { return Left() == 0; }
    std::size_t LineCount() const { return m_lines.size(); }

    // The folder every sky file is read from.
    static std::string PathOf(const std::string& name);

private:
    std::vector<std::string> m_lines;
    std::size_t m_next = 0;
    std::vector<std::string> m_tokens;
};
