#include "modErrorHandling.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

namespace {

const QString Unknown = QStringLiteral("An unknown error has occurred!");

TEST(modErrorHandling, NoNumberHasARegisteredText)
{
    for (std::int32_t n : {9999, 0, 1, 6, 91, -1, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max()})
        EXPECT_EQ(modErrorHandling::MessageText(n), Unknown) << n;
}

struct CodeCase
{
    std::int32_t number;
    std::uint32_t code;
};

class RaiseCode : public ::testing::TestWithParam<CodeCase>
{
};

TEST_P(RaiseCode, AddsTheProgramErrorBase)
{
    const CodeCase c = GetParam();
    try {
        modErrorHandling::Raise(c.number, QStringLiteral("OneHidVar:Bind Method"));
        FAIL() << "Raise returned";
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(static_cast<std::uint32_t>(e.code()), c.code);
        EXPECT_EQ(e.source(), QStringLiteral("OneHidVar:Bind Method"));
        EXPECT_EQ(e.description(), Unknown);
    }
}

INSTANTIATE_TEST_SUITE_P(Numbers, RaiseCode,
                         ::testing::Values(CodeCase{9999, 0x8004270Fu}, CodeCase{0, 0x80040000u},
                                           CodeCase{1, 0x80040001u}, CodeCase{0xFFFF, 0x8004FFFFu},
                                           // past the top of the 32-bit range the code wraps
                                           CodeCase{0x7FFFFFFF, 0x0003FFFFu}, CodeCase{-1, 0x8003FFFFu}));

TEST(modErrorHandling, TrappedFailureIsTheDocumentedSignedCode)
{
    EXPECT_EQ(modErrorHandling::ProgramErrorCode(modErrorHandling::TrappedFailure), -2147211505);
}

// Whatever a trapped body throws, its caller sees the one uniform record.
template <typename Thrower>
void expectTrapped(Thrower thrower)
{
    try {
        modErrorHandling::Trap("TSoftDet:InTempVar Property Get", [&]() -> int {
            thrower();
            return 1;
        });
        FAIL() << "Trap returned";
    } catch (const ErrorRecord &e) {
        EXPECT_EQ(e.code(), -2147211505);
        EXPECT_EQ(e.source(), QStringLiteral("TSoftDet:InTempVar Property Get"));
        EXPECT_EQ(e.description(), Unknown);
    }
}

TEST(modErrorHandling, TrapTurnsAnyFailureIntoTheUniformRecord)
{
    expectTrapped([] { throw ErrorRecord(123, QStringLiteral("inner"), QStringLiteral("inner text")); });
    expectTrapped([] { throw std::runtime_error("boom"); });
    expectTrapped([] { throw std::bad_alloc(); });
    expectTrapped([] { throw 7; });
    expectTrapped([] { throw "text"; });
}

TEST(modErrorHandling, TrapPassesTheResultAndKeepsWorkDoneBeforeAFailure)
{
    EXPECT_EQ(modErrorHandling::Trap("x", [] { return 41 + 1; }), 42);

    int steps = 0;
    EXPECT_THROW(modErrorHandling::Trap("x",
                                        [&] {
                                            steps = 1;
                                            throw std::runtime_error("half way");
                                        }),
                 ErrorRecord);
    EXPECT_EQ(steps, 1);
}

TEST(modErrorHandling, ToIntegerKeepsThe16BitRangeAndRefusesTheRest)
{
    EXPECT_EQ(modErrorHandling::ToInteger(32767, QStringLiteral("s")), 32767);
    EXPECT_EQ(modErrorHandling::ToInteger(-32768, QStringLiteral("s")), -32768);
    EXPECT_EQ(modErrorHandling::ToInteger(0, QStringLiteral("s")), 0);
    for (std::int32_t v : {32768, -32769, 65535, std::numeric_limits<std::int32_t>::min()}) {
        try {
            modErrorHandling::ToInteger(v, QStringLiteral("where"));
            ADD_FAILURE() << v << " accepted";
        } catch (const ErrorRecord &e) {
            EXPECT_EQ(e.code(), modErrorHandling::OverflowError);
            EXPECT_EQ(e.source(), QStringLiteral("where"));
            EXPECT_EQ(e.description(), QStringLiteral("Overflow"));
        }
    }
}

} // namespace
