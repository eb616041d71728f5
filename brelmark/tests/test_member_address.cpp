// Pool-member destinations: [partition/]a.b.c.d[%rd][:port].
#include <gtest/gtest.h>

#include "brelmark/grammar.hpp"
#include "grammar_test_util.hpp"

namespace brelmark {
namespace {

using test::Err;
using test::expect_outcome;
using test::opt;
using test::Outcome;
using K = ParseErrorKind;

TEST(MemberAddress, Parts) {
  struct Case {
    std::string_view text;
    std::optional<std::string_view> partition;
    std::string_view address;
    std::optional<std::uint16_t> route_domain;
    std::optional<std::string_view> port;
    std::string_view rest;
  };
  const Case cases[] = {
      {"/Common/10.0.0.1:80", "Common", "10.0.0.1", std::nullopt, "80", ""},
      {"10.0.0.1:80", std::nullopt, "10.0.0.1", std::nullopt, "80", ""},
      {"Common/10.0.0.1:80", "Common", "10.0.0.1", std::nullopt, "80", ""},
      {"//Common/10.0.0.1:80", "Common", "10.0.0.1", std::nullopt, "80", ""},
      {"/Common/10.0.0.1%2:443", "Common", "10.0.0.1", 2, "443", ""},
      {"10.0.0.1%99999:80", std::nullopt, "10.0.0.1", 65535, "80", ""},
      {"10.0.0.1%007:80", std::nullopt, "10.0.0.1", 7, "80", ""},
      {"10.0.0.1:ssh", std::nullopt, "10.0.0.1", std::nullopt, "ssh", ""},
      {"10.0.0.1:80 and more", std::nullopt, "10.0.0.1", std::nullopt, "80", "and more"},
      {"010.0.0.300:80", std::nullopt, "010.0.0.300", std::nullopt, "80", ""},
      {" /Common/ 10.0.0.1 %2:80", "Common", "10.0.0.1", 2, "80", ""},
      {"/My Part/10.0.0.1:80", "My Part", "10.0.0.1", std::nullopt, "80", ""},
      // Without a port: the end of the text, white space allowed before it.
      {"10.1.10.1", std::nullopt, "10.1.10.1", std::nullopt, std::nullopt, ""},
      {"10.1.10.1 \n", std::nullopt, "10.1.10.1", std::nullopt, std::nullopt, ""},
      {"/Tenant1/10.1.2.10%1", "Tenant1", "10.1.2.10", 1, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = parse_member_address(c.text);
    ASSERT_TRUE(r.ok()) << r.error().to_string();
    const MemberAddress& a = r.value();
    EXPECT_EQ(opt(a.partition), opt(c.partition));
    EXPECT_EQ(a.address, c.address);
    EXPECT_EQ(a.route_domain, c.route_domain);
    EXPECT_EQ(opt(a.port), opt(c.port));
    EXPECT_EQ(r.rest(), c.rest);
  }
}

TEST(MemberAddress, Failures) {
  struct Case {
    std::string_view text;
    Outcome want;
  };
  const Case cases[] = {
      {"10.0.0.1%:80", Err(K::Tag, "%:80")},
      {"10.0.0.1%", Err(K::Tag, "%")},
      {"10.0.0.1:", Err(K::IsNot, "")},
      {"10.0.0.1: 80", Err(K::IsNot, " 80")},
      {"10.1.10.1abc", Err(K::Tag, "abc")},
      {"1.2.3.4.5:80", Err(K::Tag, ".5:80")},
      {"1.2.3:80", Err(K::Char, ":80")},
      {"1.2..3:80", Err(K::Digit, ".3:80")},
      {"::1", Err(K::Digit, "::1")},
      {"2001:db8::1", Err(K::Char, ":db8::1")},
      {"app.example.com:443", Err(K::Digit, "app.example.com:443")},
      {"", Err(K::Digit, "")},
      {"1.2.3.\u0664:80", Err(K::Digit, "\u0664:80")},  // only ASCII digits
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_outcome(parse_member_address(c.text), c.text, c.want);
  }
}

}  // namespace
}  // namespace brelmark
