#pragma once
// Strict machine descriptions. Each service declares the shape of the top-level section it owns
// (and the fault kinds of its calls) in its own source, with a namespace-scope registration:
//
//   const sim::schema::Section kDisks("disks", Array(Object({{"device_number", Uint(255)},
//                                                            {"sectors", Uint64()}})),
//                                     CheckDiskReferences);
//
// A description is refused at load when it has a key no section declares, a value of the wrong
// type, a number out of its field's range or with a fraction, nesting deeper than any description
// needs, or a reference to something that does not exist; the message names the file, the JSON
// pointer and the problem. Fault rules are checked the same way against their kind's selectors and
// outcomes.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace sim::schema {

// The problems one check found, each at a JSON pointer.
class Report {
public:
    void Fail(const std::string& pointer, const std::string& problem);
    bool Ok() const { return problems_.empty(); }
    const std::vector<std::pair<std::string, std::string>>& Problems() const { return problems_; }
    // "<where>: <pointer>: <problem>" lines.
    std::string Text(const std::string& where) const;

private:
    std::vector<std::pair<std::string, std::string>> problems_;
};

class Node;
// The expected shape of a value.
using Shape = std::shared_ptr<const Node>;

class Node {
public:
    virtual ~Node() = default;
    virtual void Check(const nlohmann::json& value, const std::string& pointer, Report& report) const = 0;
};

// Anything (its nesting is still bounded).
Shape Any();
Shape Bool();
Shape Text();
// A text that is one of these.
Shape OneOfText(std::initializer_list<const char*> texts);
// Hexadecimal digits (white space between bytes allowed).
Shape Hex();
// A whole number in [min, max]: a JSON integer, a boolean (0 or 1) or a text in C notation
// ("0x1F", "-1"). A fraction or a number out of range is refused.
Shape Int(int64_t min, int64_t max);
Shape Uint(uint64_t max);
inline Shape Uint8() {
    return Uint(0xFF);
}
inline Shape Uint16() {
    return Uint(0xFFFF);
}
inline Shape Uint32() {
    return Uint(0xFFFFFFFFu);
}
inline Shape Uint64() {
    return Uint(UINT64_MAX);
}
// A number of either sign that fits 32 bits (a register or mask written as -1, 0xFFFFFFFF).
Shape Word32();
// An array of values of one shape, at most maxItems long.
Shape Array(Shape item, size_t maxItems = 100000);

struct Field {
    std::string name;
    Shape shape;
};
// An object whose keys are all named here; none is required unless listed in `required`.
Shape Object(std::vector<Field> fields, std::vector<std::string> required = {});
// An object with any keys, every value of one shape.
Shape Map(Shape value);
// The first shape that accepts the value decides; the problems of the last one are reported.
Shape Either(std::vector<Shape> shapes);
// A shape of your own.
Shape Custom(std::function<void(const nlohmann::json&, const std::string&, Report&)> check);
// An object shape that other sources may add fields to, under the name of an extension point
// ("volumes" for an entry of the "volumes" section). The owner of the section declares the point;
// a service that keeps a fact of its own on the same entries declares MoreFields for it.
Shape Extensible(std::string point, std::vector<Field> fields, std::vector<std::string> required = {});
class MoreFields {
public:
    MoreFields(std::string point, std::vector<Field> fields);
};

// A check across sections (a disk naming a controller, a volume naming a disk), run on the whole
// description after every section passed its shape.
using CrossCheck = std::function<void(const nlohmann::json& machine, Report& report)>;

// The registration of one top-level section, at namespace scope in the owner's source.
class Section {
public:
    Section(std::string name, Shape shape, CrossCheck cross = nullptr);
};

// The registration of a fault kind: the selectors its calls have and the outcomes they take.
class FaultKind {
public:
    FaultKind(std::string kind, std::vector<std::string> selectors, Shape outcome);
    // Several kinds with the same selectors and outcomes.
    FaultKind(std::initializer_list<const char*> kinds, std::vector<std::string> selectors, Shape outcome);
};

// How deep a description may nest: far more than any section needs, far less than the stack allows.
constexpr int kMaxDepth = 64;

// Checks JSON text's nesting before it is parsed (a parse or copy of deep nesting recurses).
void CheckDepth(std::string_view text, const std::string& where);
// Checks a whole description; throws std::runtime_error naming `where`, each JSON pointer and the
// problem.
void CheckDescription(const nlohmann::json& description, const std::string& where);
// Checks one fault rule ({"kind", "match", "skip", "times", "outcome"}); throws like
// CheckDescription.
void CheckFaultRule(const nlohmann::json& rule, const std::string& where);
void CheckFaultRuleInto(const nlohmann::json& rule, const std::string& pointer, Report& report);
// Parses description text with the nesting bound, so no exception of the JSON library escapes;
// throws std::runtime_error naming `where`.
nlohmann::json ParseText(std::string_view text, const std::string& where);

// The JSON pointer of an object's member `key` below `pointer`.
std::string ChildPointer(const std::string& pointer, const std::string& key);

// The names of the registered sections (for the documentation test).
std::vector<std::string> SectionNames();

} // namespace sim::schema
