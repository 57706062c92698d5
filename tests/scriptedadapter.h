#pragma once

#include "adaptercontrol.h"

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

// A fake adapter for unit tests: answers from a script of statuses and words and
// records every operation with the arguments it was given.
class ScriptedAdapter : public AdapterControl
{
public:
    struct Call
    {
        Call(std::string o, int32_t a_ = 0, int32_t b_ = 0, int32_t c_ = 0, int32_t d_ = 0,
             std::string t = {})
            : op(std::move(o))
            , a(a_)
            , b(b_)
            , c(c_)
            , d(d_)
            , text(std::move(t))
        {}
        std::string op;
        int32_t a, b, c, d;
        std::string text;
    };

    // Statuses returned in turn by word reads, word writes and write checks; 0 when empty.
    // kThrow makes that call throw instead.
    static constexpr int16_t kThrow = 0x7FFF;
    std::deque<int16_t> readStatuses, writeStatuses, checkStatuses, openStatuses;
    int16_t readWord = 0;
    int16_t byteData = 0; // what byte transfers put into their data argument
    int32_t foundCount = 0;
    std::string foundNames;
    bool throwOnFind = false;
    std::vector<Call> calls;
    int userActions = 0; // beginAction calls, by kind
    int tickActions = 0;

    void beginAction(BusAction kind) override
    {
        ++(kind == BusAction::User ? userActions : tickActions);
    }

    int16_t AdapterWriteWord(int16_t nCommand, int16_t &nWord, int16_t nAddress) override
    {
        calls.push_back({"WriteWord", nCommand, nWord, nAddress});
        return next(writeStatuses);
    }
    int16_t AdapterReadWord(int16_t &nCommand, int16_t &nWord, int16_t nAddress) override
    {
        calls.push_back({"ReadWord", nCommand, nWord, nAddress});
        const int16_t status = next(readStatuses);
        if (status == 0)
            nWord = readWord;
        nCommand = 0x55; // must not reach the caller
        return status;
    }
    int16_t AdapterOpen(std::string &sName) override
    {
        calls.push_back({"Open", 0, 0, 0, 0, sName});
        return next(openStatuses);
    }
    int16_t AdapterClose() override
    {
        calls.push_back({"Close"});
        return 0;
    }
    int16_t AdapterFindDevices(int32_t nOne, int32_t &nCount, std::string &sNames) override
    {
        calls.push_back({"FindDevices", nOne, nCount, 0, 0, sNames});
        if (throwOnFind)
            throw std::runtime_error("find");
        nCount = foundCount;
        sNames = foundNames;
        return 0;
    }
    int16_t AdapterByteTransfer(int32_t nMode, int16_t &nAddress, int16_t &nRegister,
                                int16_t &nData) override
    {
        calls.push_back({"ByteTransfer", nMode, nAddress, nRegister, nData});
        lastByteArgs = {&nAddress, &nRegister, &nData};
        nData = byteData;
        return 0;
    }
    int16_t AdapterWriteCheck() override
    {
        calls.push_back({"WriteCheck"});
        return next(checkStatuses);
    }
    int16_t AdapterHdqWrite(int32_t nOne, int16_t &nCommand, int16_t &nData) override
    {
        calls.push_back({"HdqWrite", nOne, nCommand, nData});
        return next(writeStatuses);
    }
    int16_t AdapterHdqRead(int32_t nOne, int16_t &nCommand, int16_t &nData) override
    {
        calls.push_back({"HdqRead", nOne, nCommand, nData});
        nData = byteData;
        return next(readStatuses);
    }

    std::vector<int16_t *> lastByteArgs;

    int count(const std::string &op) const
    {
        int n = 0;
        for (const auto &c : calls)
            n += c.op == op;
        return n;
    }

private:
    static int16_t next(std::deque<int16_t> &q)
    {
        if (q.empty())
            return 0;
        const int16_t s = q.front();
        q.pop_front();
        if (s == kThrow)
            throw std::runtime_error("adapter fault");
        return s;
    }
};
