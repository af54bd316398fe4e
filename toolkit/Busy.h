#pragma once

// The hourglass cursor for the life of the guard, restored on every path.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// Lets pending window messages run.
void ProcessMessages();
