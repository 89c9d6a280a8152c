#include "World/PLevelFile.h"

#include <cctype>
#include <cstdlib>

#include "Framework/PFileReader.h"

namespace {

// Reads fixed-size records and remembers where and why the read stopped.
class LevelReader {
public:
    LevelReader(CPFileReader& reader, SPLevelFile& out) : m_reader(reader), m_out(out) {}

    bool Fail(const char* reason) {
        if (m_out.failOffset < 0) {
            m_out.failOffset = m_reader.GetReadPosition();
            m_out.failReason = reason;
        }
        return false;
    }
    bool Has(long long bytes) const { return bytes >= 0 && bytes <= m_reader.GetRemaining(); }

    // A count read just before its records; negative counts mean none.
    bool ReadCount(int& count, long long minimumRecordBytes, const char* reason) {
        if (!Has(4)) return Fail(reason);
        count = m_reader.ReadInt();
        if (count <= 0) {
            count = 0;
            return true;
        }
        if (!Has(static_cast<long long>(count) * minimumRecordBytes)) return Fail(reason);
        return true;
    }

    bool ReadString(std::string& text, const char* reason) {
        if (!Has(4)) return Fail(reason);
        const int start = m_reader.GetReadPosition();
        const std::uint8_t* data = m_reader.GetData() + start;
        const int length =
            static_cast<int>(static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
                             (static_cast<std::uint32_t>(data[2]) << 16) | (static_cast<std::uint32_t>(data[3]) << 24));
        if (length < 0 || !Has(4LL + length)) return Fail(reason);
        text = m_reader.ReadString();
        return !m_reader.IsFailed() || Fail(reason);
    }

    D3DXVECTOR3 ReadVector() {
        D3DXVECTOR3 v;
        v.x = m_reader.ReadFloat();
        v.y = m_reader.ReadFloat();
        v.z = m_reader.ReadFloat();
        return v;
    }

    bool ReadHeader() {
        if (!Has(SPLevelFile::kHeaderBytes)) return Fail("terrain header truncated");
        m_out.unused[0] = m_reader.ReadFloat();
        m_out.unused[1] = m_reader.ReadFloat();
        m_out.halfExtentX = m_reader.ReadFloat();
        m_out.halfExtentY = m_reader.ReadFloat();
        m_out.complete = SPLevelFile::Header;
        return true;
    }

    bool ReadLights() {
        if (!Has(4)) return Fail("light count missing");
        const int count = m_reader.ReadInt();
        m_out.lightCount = count;
        if (count >= 1) {
            const long long bytes =
                SPLevelFile::kFirstLightBytes + static_cast<long long>(count - 1) * SPLevelFile::kFurtherLightBytes;
            if (!Has(bytes)) return Fail("light records truncated");
            m_reader.ReadBytes(nullptr, 4);
            D3DXMATRIX& m = m_out.lightTransform;
            for (int column = 0; column < 3; ++column)
                for (int row = 0; row < 4; ++row) m(row, column) = m_reader.ReadFloat();
            m(0, 3) = 0.0f;
            m(1, 3) = 0.0f;
            m(2, 3) = 0.0f;
            m(3, 3) = 1.0f;
            m_out.hasLight = true;
            m_reader.ReadBytes(nullptr, static_cast<int>(bytes - SPLevelFile::kFirstLightBytes));
        }
        m_out.complete = SPLevelFile::Lights;
        return true;
    }

    bool ReadObjects() {
        int count = 0;
        if (!ReadCount(count, SPLevelFile::kObjectFixedBytes, "object count beyond the file")) return false;
        m_out.objects.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            SPLevelObjectRecord record;
            if (!ReadString(record.name, "object name beyond the file")) return false;
            if (!Has(40)) return Fail("object record truncated");
            record.position = ReadVector();
            record.rotation.x = m_reader.ReadFloat();
            record.rotation.y = m_reader.ReadFloat();
            record.rotation.z = m_reader.ReadFloat();
            record.rotation.w = m_reader.ReadFloat();
            record.scale = ReadVector();
            m_out.objects.push_back(std::move(record));
        }
        m_out.complete = SPLevelFile::Objects;
        return true;
    }

    bool ReadSplines() {
        int count = 0;
        // A spline record holds at least its name length, its flag and its segment count.
        if (!ReadCount(count, 12, "spline count beyond the file")) return false;
        for (int i = 0; i < count; ++i) {
            SPLevelSplineRecord record;
            if (!ReadString(record.name, "spline name beyond the file")) return false;
            if (!Has(4)) return Fail("spline flag missing");
            record.flag = m_reader.ReadInt() != 0;
            int segments = 0;
            if (!ReadCount(segments, SPLevelFile::kSegmentBytes, "segment count beyond the file")) return false;
            record.segments.resize(static_cast<std::size_t>(segments));
            for (SPLevelSegmentRecord& segment : record.segments) {
                segment.start = ReadVector();
                segment.end = ReadVector();
                segment.control1 = ReadVector();
                segment.control2 = ReadVector();
            }
            m_out.splines.push_back(std::move(record));
        }
        m_out.complete = SPLevelFile::Splines;
        return true;
    }

private:
    CPFileReader& m_reader;
    SPLevelFile& m_out;
};

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

} // namespace

bool ReadLevelFile(CPFileReader& reader, SPLevelFile& out) {
    LevelReader in(reader, out);
    if (!in.ReadHeader() || !in.ReadLights() || !in.ReadObjects() || !in.ReadSplines()) return false;
    if (reader.GetRemaining() != 0) return in.Fail("bytes after the splines");
    return !reader.IsFailed();
}

std::string StripTrailingDigits(const std::string& name) {
    std::size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1]))) --end;
    return name.substr(0, end);
}

SPHintName ParseHintName(const std::string& baseName) {
    SPHintName hint;
    std::size_t i = baseName.size() < 3 ? baseName.size() : 3;
    while (i < baseName.size() && std::isdigit(static_cast<unsigned char>(baseName[i])))
        hint.numberText += baseName[i++];
    // One separator character between the number and the model.
    if (i < baseName.size()) ++i;
    hint.model = baseName.substr(i);
    hint.number = static_cast<int>(std::atof(hint.numberText.c_str()));
    return hint;
}

SPLevelRecordName ParseLevelRecordName(const std::string& name) {
    SPLevelRecordName out;
    out.baseName = StripTrailingDigits(name);
    if (out.baseName == "player") {
        out.kind = LevelRecordKind::Placeholder;
        return out;
    }
    if (StartsWith(out.baseName, "enemy")) {
        out.kind = LevelRecordKind::StartPlace;
        const std::string digits = name.size() > 5 ? name.substr(5, 2) : std::string();
        out.place = std::atoi(digits.c_str());
        return out;
    }
    if (StartsWith(out.baseName, "che")) {
        const std::size_t comma = name.find(',');
        if (comma != std::string::npos) {
            const std::size_t next = name.find(',', comma + 1);
            const std::string bonus = name.substr(comma + 1, next == std::string::npos ? next : next - comma - 1);
            out.timeBonus = static_cast<float>(std::atof(bonus.c_str()));
        }
        out.baseName = StripTrailingDigits(name.substr(0, comma));
    }
    if (StartsWith(out.baseName, "chk")) {
        out.kind = LevelRecordKind::CheckpointHint;
        return out;
    }
    if (StartsWith(out.baseName, "src")) {
        out.kind = LevelRecordKind::NamedPosition;
        out.key = out.baseName.size() > 4 ? out.baseName.substr(4) : std::string();
        return out;
    }
    out.modelFile = out.baseName + ".rdf";
    if (out.modelFile == "stolb_start_left.rdf")
        out.kind = LevelRecordKind::LeftStartPost;
    else if (out.modelFile == "stolb_start_right.rdf")
        out.kind = LevelRecordKind::RightStartPost;
    else
        out.kind = LevelRecordKind::PlacedObject;
    return out;
}
