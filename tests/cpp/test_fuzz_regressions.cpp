// Inputs found by the document-format fuzz target (fuzz/fuzz_formats.cpp),
// kept as regression tests.
//
// Readers take a std::string_view, which need not be followed by a NUL or by
// any readable byte. These tests place each document at the very end of a
// readable page followed by an inaccessible one, so that a read past the end
// of the text faults here too, not only under AddressSanitizer.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "formats/toml.hpp"
#include "test_records.hpp"

namespace {

// A copy of a text whose last byte is the last readable byte before a
// PROT_NONE page.
class GuardedText {
 public:
  explicit GuardedText(std::string_view text) {
    page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    size_ = (text.size() / page_ + 2) * page_;
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<char*>(p);
    char* guard = base_ + size_ - page_;
    if (mprotect(guard, page_, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
    char* start = guard - text.size();
    std::memcpy(start, text.data(), text.size());
    view_ = std::string_view(start, text.size());
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;
  ~GuardedText() { munmap(base_, size_); }

  std::string_view view() const noexcept { return view_; }

 private:
  char* base_ = nullptr;
  std::size_t page_ = 0;
  std::size_t size_ = 0;
  std::string_view view_;
};

struct Case {
  std::string_view text;
  std::string_view error;
};

// Each text, read as a record at the end of a guarded page, fails with its error.
template <std::size_t N>
void expect_toml_errors(const Case (&cases)[N]) {
  for (const Case& c : cases) {
    GuardedText text(c.text);
    auto r = qv::formats::read<qv::test::Node>(qv::toml::read_record, text.view());
    ASSERT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.error(), c.error) << c.text;
  }
}

}  // namespace

// A number that is only its sign, at the end of the text: the reader looked at
// the byte after the sign (for a "0x" prefix) without checking for the end.
TEST(FuzzRegressions, TomlSignAtEndOfText) {
  const Case cases[] = {
      {"i=-", "invalid number at line 1 column 3"},
      {"i=+", "invalid number at line 1 column 3"},
      {"a=[-", "invalid number at line 1 column 4"},
      {"a=[1,+", "invalid number at line 1 column 6"},
      {"t={x=-", "invalid number at line 1 column 6"},
      {"name=\"a\"\nn=-", "invalid number at line 2 column 3"},
  };
  expect_toml_errors(cases);
}

// An empty key ('' or "") looked up in a table that holds the deferred error of
// a table defined twice: the lookup compared the key with that entry's key,
// which has no text (a null pointer of length 0), through memcmp. The result
// was right, but passing a null pointer to memcmp is undefined (reported by
// UndefinedBehaviorSanitizer in the fuzz target and in sanitizer builds).
TEST(FuzzRegressions, TomlEmptyKeyBesideRedefinedTable) {
  const Case cases[] = {
      {"[a]\n[a]\n[a.'']", "redefinition of table `a` for key `a` at line 2 column 1"},
      {"[a]\n[a]\n[a.\"\"]", "redefinition of table `a` for key `a` at line 2 column 1"},
      {"[a]\n[a]\n[a.''.b]\nx = 1", "redefinition of table `a` for key `a` at line 2 column 1"},
  };
  expect_toml_errors(cases);
}
