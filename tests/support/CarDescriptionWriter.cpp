#include "support/CarDescriptionWriter.h"

namespace kxtest {

CarDescriptionWriter::Node& CarDescriptionWriter::Find(const std::string& path) {
    Node* node = &m_root;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        Node* next = nullptr;
        for (Node& child : node->children)
            if (child.name == name) next = &child;
        if (!next) {
            node->children.push_back(Node{name, {}, {}});
            next = &node->children.back();
        }
        node = next;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return *node;
}

CarDescriptionWriter& CarDescriptionWriter::Set(const std::string& path, const std::string& attribute,
                                                const std::string& value) {
    Find(path).attributes.emplace_back(attribute, value);
    return *this;
}

CarDescriptionWriter& CarDescriptionWriter::Element(const std::string& path) {
    Find(path);
    return *this;
}

CarDescriptionWriter& CarDescriptionWriter::Gear(const std::vector<std::pair<std::string, std::string>>& attributes,
                                                 const std::string& name) {
    Find("physics/gearbox/gears").children.push_back(Node{name, attributes, {}});
    return *this;
}

void CarDescriptionWriter::Write(const Node& node, std::string& out, int depth) {
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += "<" + node.name;
    for (const auto& [key, value] : node.attributes) out += " " + key + "=\"" + value + "\"";
    if (node.children.empty()) {
        out += "/>\n";
        return;
    }
    out += ">\n";
    for (const Node& child : node.children) Write(child, out, depth + 1);
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += "</" + node.name + ">\n";
}

std::string CarDescriptionWriter::Text() const {
    std::string out = "<?xml version=\"1.0\"?>\n";
    for (const Node& child : m_root.children) Write(child, out, 0);
    return out;
}

} // namespace kxtest
