#pragma once
// Builds the text of a car description document: attributes by element path, gears in order.

#include <string>
#include <utility>
#include <vector>

namespace kxtest {

class CarDescriptionWriter {
public:
    // path like "physics/params/wheels"; the elements are made as needed, in first-use order.
    CarDescriptionWriter& Set(const std::string& path, const std::string& attribute, const std::string& value);
    // An element with no attributes (so that it exists).
    CarDescriptionWriter& Element(const std::string& path);
    // A child of physics/gearbox/gears with the given attributes ("coeff", "min", ...).
    CarDescriptionWriter& Gear(const std::vector<std::pair<std::string, std::string>>& attributes,
                               const std::string& name = "gear");
    std::string Text() const;

private:
    struct Node {
        std::string name;
        std::vector<std::pair<std::string, std::string>> attributes;
        std::vector<Node> children;
    };
    Node& Find(const std::string& path);
    static void Write(const Node& node, std::string& out, int depth);

    Node m_root;
};

} // namespace kxtest
