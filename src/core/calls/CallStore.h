#pragma once

#include <QtGlobal>

class CCall;

// Where call records are kept for the call history.
class CallStore
{
public:
    virtual ~CallStore() = default;
    virtual bool SaveCall(CCall& call) = 0;
    virtual bool LoadCall(CCall& call, qint32 dbCallId) = 0;
};
