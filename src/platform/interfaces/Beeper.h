#pragma once

// The system beep, behind an interface so tests can count beeps.
class Beeper
{
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};
