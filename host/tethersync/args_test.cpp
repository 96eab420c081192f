// The command-line reader.
#include "host/tethersync/args.h"

#include <gtest/gtest.h>

namespace tethersync {
namespace {

TEST(CArgs, OptionsFlagsPositionalsAndErrors) {
    CArgs a({"--to", "x@y", "ID", "--to=z@w", "--unread", "--", "--literal"});
    EXPECT_EQ(a.Options("--to"), (std::vector<std::string>{"x@y", "z@w"}));
    EXPECT_TRUE(a.Flag("--unread"));
    EXPECT_FALSE(a.Flag("--unread"));
    EXPECT_EQ(a.Positionals(), (std::vector<std::string>{"ID", "--literal"}));
    EXPECT_EQ(a.Error(), "");

    CArgs b({"--image", "--bogus"});
    EXPECT_EQ(b.Option("--image"), std::optional<std::string>("--bogus"));
    CArgs c({"x", "--image"});
    EXPECT_FALSE(c.Option("--image").has_value());
    EXPECT_EQ(c.Error(), "--image needs a value");
    CArgs d({"--what"});
    (void)d.Positionals();  // only the error matters here
    EXPECT_EQ(d.Error(), "unknown option --what");

    // Commands without positional arguments: the option error comes first, then the
    // first argument left over.
    CArgs none({"--image", "a.db"});
    (void)none.Option("--image");
    EXPECT_EQ(none.NothingLeft(), "");
    CArgs extra({"one", "two"});
    EXPECT_EQ(extra.NothingLeft(), "unexpected argument one");
    CArgs both({"one", "--what"});
    EXPECT_EQ(both.NothingLeft(), "unknown option --what");
}

}  // namespace
}  // namespace tethersync
