#pragma once

#include "ErrorRecord.h"

#include <QString>

#include <cstdint>
#include <utility>

// Uniform failure reporting for the device model. A member that traps
// failures turns whatever went wrong inside it into one error record that
// names the member; the caller learns where, not why.
namespace modErrorHandling {

// Base of the program-defined error codes; Raise adds the error number to it.
inline constexpr std::uint32_t ProgramErrorBase = 0x80040000u;

// The number every trap in the device model raises. No text is registered
// for it, so its description is the generic one.
inline constexpr std::int32_t TrappedFailure = 9999;

// Language-level failures that are not raised through Raise: they keep
// their own small codes.
inline constexpr std::int32_t OverflowError = 6;
inline constexpr std::int32_t ObjectNotSetError = 91;

// The text registered for `number`, or "An unknown error has occurred!".
QString MessageText(std::int32_t number);

// Fails the current call with code number + ProgramErrorBase, the given
// source and MessageText(number) as description.
[[noreturn]] void Raise(std::int32_t number, const QString &source);

// Code Raise gives for `number` (32-bit wrap-around, as the error code is a
// signed 32-bit value).
std::int32_t ProgramErrorCode(std::int32_t number);

// A 32-bit value narrowed to 16 bits; out of range fails with OverflowError.
std::int16_t ToInteger(std::int32_t value, const QString &source);

// Failure of a member that needed an object reference it does not hold.
[[noreturn]] void RaiseObjectNotSet(const QString &source);

// Runs `body`; any failure inside it, of whatever type, becomes
// Raise(TrappedFailure, source). Work the body did before failing stays done.
template <typename Body>
decltype(auto) Trap(const char *source, Body &&body)
{
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        Raise(TrappedFailure, QString::fromLatin1(source));
    }
}

} // namespace modErrorHandling
