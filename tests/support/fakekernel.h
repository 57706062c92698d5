#pragma once

#include "clock.h"
#include "i2cdevsyscalls.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <map>
#include <set>
#include <string>
#include <vector>

// Stands in for the kernel's i2c-dev: checks every request and its argument, keeps
// the words of one chip at 7-bit 0x09, and fails calls as scripted. What the backend
// must never do (an ioctl or close on a descriptor that is not open, an address above
// 0x7F, a transfer other than an SMBus word, one before I2C_SLAVE) goes to faults.
class FakeKernel : public I2cDevSyscalls, public Clock
{
public:
    struct Transfer
    {
        int fd;
        int address; // the one set on fd with I2C_SLAVE
        uint8_t readWrite;
        uint8_t command;
        uint32_t size;
        uint16_t word; // as handed to the kernel
    };
    // The calls a failure hook is asked about.
    enum class Call { Open, Functions, Slave, Transfer };

    unsigned long functions = I2C_FUNC_I2C | I2C_FUNC_SMBUS_BYTE_DATA |
                              I2C_FUNC_SMBUS_READ_WORD_DATA | I2C_FUNC_SMBUS_WRITE_WORD_DATA;
    std::map<std::string, int> openErrors; // path -> errno
    std::deque<int> transferErrors;        // errno per I2C_SMBUS call, 0 = answer
    std::deque<int> slaveErrors;           // errno per I2C_SLAVE call
    std::function<void()> onTransferError; // runs when a scripted error is returned
    // Asked once for each open and each ioctl on an open descriptor, before the scripted
    // errors: an errno fails the call with it, 0 lets it go on.
    std::function<int(Call)> failure;
    std::map<uint8_t, uint16_t> words;
    std::set<std::string> lockedElsewhere; // nodes another program holds
    int64_t clockMs = 0;
    int64_t hangMs = 0;   // a bridge that does not answer: each transfer waits this long, then EIO
    int64_t answerMs = 0; // how long each answered transfer takes
    std::deque<int64_t> hangs; // as hangMs, one transfer each, before hangMs applies

    std::vector<std::string> opened;
    std::vector<int> slaveAddresses;
    std::vector<Transfer> transfers;
    std::vector<std::string> faults; // requests the backend must never make
    int funcsQueries = 0;

    int open(const std::string &path) override
    {
        opened.push_back(path);
        if (const int e = failed(Call::Open))
            return -e;
        if (auto it = openErrors.find(path); it != openErrors.end())
            return -it->second;
        m_open[m_next] = -1;
        m_paths[m_next] = path;
        return m_next++;
    }

    int lock(int fd) override { return lockedElsewhere.count(m_paths[fd]) ? -EWOULDBLOCK : 0; }

    // Its clock: a transfer that hangs moves it on.
    int64_t monotonicMs() const override { return clockMs; }

    int close(int fd) override
    {
        if (!m_open.erase(fd))
            faults.push_back("close of fd " + std::to_string(fd) + " that is not open");
        return 0;
    }

    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        auto it = m_open.find(fd);
        if (it == m_open.end()) {
            faults.push_back("ioctl " + hex(request) + " on fd " + std::to_string(fd) +
                             " that is not open");
            return -EBADF;
        }
        switch (request) {
        case I2C_FUNCS:
            ++funcsQueries;
            if (const int e = failed(Call::Functions))
                return -e;
            *reinterpret_cast<unsigned long *>(arg) = functions;
            return 0;
        case I2C_SLAVE:
            slaveAddresses.push_back(int(arg));
            if (arg > 0x7F)
                faults.push_back("I2C_SLAVE with " + hex(arg));
            if (const int e = failed(Call::Slave))
                return -e;
            if (!slaveErrors.empty()) {
                const int e = slaveErrors.front();
                slaveErrors.pop_front();
                if (e)
                    return -e;
            }
            it->second = int(arg);
            return 0;
        case I2C_SMBUS:
            return smbus(fd, it->second, *reinterpret_cast<i2c_smbus_ioctl_data *>(arg));
        default:
            faults.push_back("unexpected ioctl " + hex(request));
            return -ENOTTY;
        }
    }

    int openCount() const { return int(m_open.size()); }
    // The faults, one a line.
    std::string faultList() const
    {
        std::string list;
        for (const std::string &fault : faults)
            list += fault + "\n";
        return list;
    }

private:
    int failed(Call call) { return failure ? failure(call) : 0; }
    static std::string hex(unsigned long value)
    {
        char text[24];
        std::snprintf(text, sizeof text, "0x%lx", value);
        return text;
    }

    int smbus(int fd, int address, i2c_smbus_ioctl_data &args)
    {
        transfers.push_back({fd, address, args.read_write, args.command, args.size,
                             args.data ? args.data->word : uint16_t(0)});
        if (args.size != I2C_SMBUS_WORD_DATA || !args.data ||
            (args.read_write != I2C_SMBUS_READ && args.read_write != I2C_SMBUS_WRITE)) {
            faults.push_back("I2C_SMBUS other than a word transfer");
            return -EINVAL;
        }
        if (address < 0)
            faults.push_back("I2C_SMBUS before I2C_SLAVE");
        if (const int e = failed(Call::Transfer))
            return -e;
        const int64_t hang = hangs.empty() ? hangMs : hangs.front();
        if (!hangs.empty())
            hangs.pop_front();
        if (hang > 0) {
            clockMs += hang;
            return -EIO;
        }
        clockMs += answerMs;
        if (!transferErrors.empty()) {
            const int e = transferErrors.front();
            transferErrors.pop_front();
            if (e) {
                if (onTransferError)
                    onTransferError();
                return -e;
            }
        }
        if (address != 0x09)
            return -ENXIO;
        if (args.read_write == I2C_SMBUS_WRITE)
            words[args.command] = args.data->word;
        else
            args.data->word = words[args.command];
        return 0;
    }

    std::map<int, int> m_open; // fd -> address set with I2C_SLAVE, -1 none
    std::map<int, std::string> m_paths;
    int m_next = 3;
};
