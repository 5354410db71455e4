#pragma once

class Application;

// Hands out the one automation object the host, the events and every outside
// caller share.
class Helper
{
public:
    // Created on first use.
    static Application& GetApplication();
    // Whether it exists now (it is not created by asking).
    static bool hasApplication();
    // At the program's end (and between tests): the next GetApplication makes
    // a fresh one.
    static void destroyApplication();
};
