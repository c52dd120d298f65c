#pragma once

#include "app/Job.h"

// A job's inputs in memory, read as the job asks: a test changes them between
// two reads as a user edits a box.
template <class In> struct MemoryJobInputs
{
    In value{};

    ReadInputs reader() const
    {
        return [this] { return std::any(value); };
    }
    std::function<In()> typed() const
    {
        return [this] { return value; };
    }
};
