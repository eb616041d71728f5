// TOML value trees (test only): owned trees (Item), the printer and the
// conversion from JSON value trees.
#include "toml_item.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

namespace qv::toml {

// ---------------------------------------------------------------------------
// Item.

Item Item::boolean(bool b) {
  Item i;
  i.type_ = Type::Boolean;
  i.boolean_ = b;
  return i;
}

Item Item::integer(std::int64_t n) {
  Item i;
  i.type_ = Type::Integer;
  i.integer_ = n;
  return i;
}

Item Item::floating(double d) {
  Item i;
  i.type_ = Type::Float;
  i.floating_ = d;
  return i;
}

Item Item::string(std::string s) {
  Item i;
  i.type_ = Type::String;
  i.string_ = std::move(s);
  return i;
}

Item Item::array(std::vector<Item> elements) {
  Item i;
  i.type_ = Type::Array;
  i.elements_ = std::move(elements);
  return i;
}

namespace {
// std::string compares by unsigned bytes, which is the order tables keep.
template <class Members>
auto member_position(Members& members, std::string_view key) {
  return std::lower_bound(members.begin(), members.end(), key,
                          [](const Item::Member& m, std::string_view k) { return std::string_view(m.key) < k; });
}
}  // namespace

Item Item::table(std::vector<Member> members) {
  Item t;
  std::stable_sort(members.begin(), members.end(),
                   [](const Member& a, const Member& b) { return a.key < b.key; });
  // Of equal keys keep the last one given.
  auto out = members.begin();
  for (auto it = members.begin(); it != members.end(); ++it) {
    auto next = it + 1;
    if (next != members.end() && next->key == it->key) continue;
    if (out != it) *out = std::move(*it);
    ++out;
  }
  members.erase(out, members.end());
  t.members_ = std::move(members);
  return t;
}

Item& Item::insert(std::string key, Item value) {
  auto it = member_position(members_, key);
  if (it != members_.end() && it->key == key) {
    it->value = std::move(value);
    return it->value;
  }
  auto index = it - members_.begin();
  members_.insert(it, Member{std::move(key), std::move(value)});
  return members_[static_cast<std::size_t>(index)].value;
}

const Item* Item::find(std::string_view key) const noexcept {
  auto it = member_position(members_, key);
  return it != members_.end() && it->key == key ? &it->value : nullptr;
}

// ---------------------------------------------------------------------------
// Printing.

namespace {

bool is_table(const Item& v) noexcept { return v.type() == Item::Type::Table; }

// An array printed as [[a]] sections: not empty, and every element a table.
// (An array that mixes tables with other values is printed inline, its tables
// as inline tables, so that the text stays valid TOML.)
bool is_array_of_tables(const Item& v) noexcept {
  return v.type() == Item::Type::Array && !v.elements().empty() &&
         std::all_of(v.elements().begin(), v.elements().end(), is_table);
}

bool is_plain(const Item& v) noexcept { return !is_table(v) && !is_array_of_tables(v); }

void append_float(std::string& out, double d) {
  if (std::isnan(d)) {
    out += std::signbit(d) ? "-nan" : "nan";
    return;
  }
  if (std::isinf(d)) {
    out += d < 0 ? "-inf" : "inf";
    return;
  }
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  out.append(buf, r.ptr);
  if (std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)).find('.') == std::string_view::npos) {
    out += ".0";
  }
}

void append_inline(std::string& out, const Item& v) {
  switch (v.type()) {
    case Item::Type::Boolean:
      out += v.as_bool() ? "true" : "false";
      return;
    case Item::Type::Integer:
      out += std::to_string(v.as_int());
      return;
    case Item::Type::Float:
      append_float(out, v.as_double());
      return;
    case Item::Type::String:
      append_string(out, v.as_string());
      return;
    case Item::Type::Array: {
      out += '[';
      bool first = true;
      for (const Item& e : v.elements()) {
        if (!first) out += ", ";
        first = false;
        append_inline(out, e);
      }
      out += ']';
      return;
    }
    case Item::Type::Table: {
      if (v.members().empty()) {
        out += "{}";
        return;
      }
      out += "{ ";
      bool first = true;
      for (const Item::Member& m : v.members()) {
        if (!first) out += ", ";
        first = false;
        append_key(out, m.key);
        out += " = ";
        append_inline(out, m.value);
      }
      out += " }";
      return;
    }
  }
}

class Printer {
 public:
  explicit Printer(std::string& out) : out_(out) {}

  // The entries of a table whose header (if any) is written.
  void body(const Item& table) {
    std::size_t printed = 0;
    for (const Item::Member& m : table.members()) {
      if (!is_plain(m.value)) continue;
      append_key(out_, m.key);
      out_ += " = ";
      append_inline(out_, m.value);
      out_ += '\n';
      ++printed;
    }
    for (const Item::Member& m : table.members()) {
      if (!is_array_of_tables(m.value)) continue;
      path_.push_back(m.key);
      bool first = printed == 0;
      for (const Item& element : m.value.elements()) {
        header(!first, true);
        first = false;
        body(element);
      }
      path_.pop_back();
      ++printed;
    }
    for (const Item::Member& m : table.members()) {
      if (!is_table(m.value)) continue;
      path_.push_back(m.key);
      // A table holding only tables or arrays of tables gets no header of its
      // own: its children's headers name it.
      const auto& members = m.value.members();
      if (members.empty() || std::any_of(members.begin(), members.end(),
                                         [](const Item::Member& c) { return is_plain(c.value); })) {
        header(printed > 0, false);
      }
      body(m.value);
      path_.pop_back();
      ++printed;
    }
  }

 private:
  std::string& out_;
  std::vector<std::string_view> path_;

  void header(bool blank_line, bool array) { append_header(out_, path_, array, blank_line); }
};

}  // namespace

bool print(const Item& table, std::string& out) {
  if (!is_table(table)) return false;
  Printer(out).body(table);
  return true;
}

// ---------------------------------------------------------------------------
// From JSON value trees.

namespace {

// Builds the tree; with a tree it may take apart, texts are moved, not copied.
template <class Tree>
struct Converter {
  std::optional<formats::WriteError> error;

  static constexpr bool kMove = !std::is_const_v<Tree>;

  template <class T>
  static decltype(auto) take(T& x) {
    if constexpr (kMove) {
      return std::move(x);
    } else {
      return static_cast<const T&>(x);
    }
  }

  Item convert(Tree& v) {
    if (error) return Item();
    if (v.is_null()) {
      error = unsupported_type_error();
      return Item();
    }
    if (v.is_bool()) return Item::boolean(v.as_bool());
    if (v.is_int()) return Item::integer(v.as_int());
    if (v.is_uint()) {
      if (v.as_uint() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        error = formats::WriteError{"u64 value was too large", "Custom(\"u64 value was too large\")"};
        return Item();
      }
      return Item::integer(static_cast<std::int64_t>(v.as_uint()));
    }
    if (v.is_double()) return Item::floating(v.as_double());
    if (v.is_string()) return Item::string(take(std::get<std::string>(v.data)));
    if (v.is_array()) {
      auto& array = std::get<json::Array>(v.data);
      std::vector<Item> elements;
      elements.reserve(array.size());
      for (auto& e : array) {
        elements.push_back(convert(e));
        if (error) return Item();
      }
      return Item::array(std::move(elements));
    }
    auto& object = std::get<json::Object>(v.data);
    std::vector<Item::Member> members;
    members.reserve(object.size());
    for (auto& m : object) {
      Item converted = convert(m.second);
      if (error) return Item();
      members.push_back(Item::Member{std::string(take(m.first)), std::move(converted)});
    }
    return Item::table(std::move(members));
  }
};

}  // namespace

std::variant<Item, formats::WriteError> from_json(json::Value&& value) {
  Converter<json::Value> c;
  Item item = c.convert(value);
  if (c.error) return std::move(*c.error);
  return item;
}

std::variant<Item, formats::WriteError> from_json(const json::Value& value) {
  Converter<const json::Value> c;
  Item item = c.convert(value);
  if (c.error) return std::move(*c.error);
  return item;
}

}  // namespace qv::toml
