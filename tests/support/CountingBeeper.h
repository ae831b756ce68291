#pragma once

#include "Beeper.h"

// Counts system beeps instead of sounding them.
class CountingBeeper : public Beeper
{
public:
    void beep() override { ++m_beeps; }
    int beeps() const { return m_beeps; }
    void reset() { m_beeps = 0; }

private:
    int m_beeps = 0;
};
