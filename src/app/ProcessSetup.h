#pragma once

// Settings of the C library that a batch of many small files pays for on every
// file, made once when a program of the tool starts, before any thread or
// child process: the time zone is read once instead of once per zip entry's
// time, and memory freed after one file is kept for the next instead of being
// handed back to the system and faulted in again.
void setUpProcess();
