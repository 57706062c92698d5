#pragma once

#include "actionresult.h"
#include "adaptercontrol.h"
#include "buslog.h"
#include "bustransactions.h"
#include "chargeregisters.h"
#include "clock.h"
#include "frmusb.h"
#include "tickreport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What changed in a session, for whoever shows it.
enum class SessionChange {
    Adapter,   // opened or closed
    Charge,    // one charge register (index 0 to 2); parts: ChargeState::Part
    Ids,       // the identifiers
    Panel,     // one Test Mode register (index 0 to 5); parts: PanelState::Part
    Period,    // the refresh period in force
    Periodic,  // which periodic writes run
    TickStatus // what the periodic writes report
};

class SessionListener
{
public:
    virtual ~SessionListener() = default;
    virtual void sessionChanged(SessionChange change, size_t nIndex, unsigned nParts) = 0;
};

// The charger session: what the program knows of the charger and every action on it,
// for the window and for kv7320ctl alike. No Qt, no widgets: the window's frames,
// panels, dialogs and banner show its state and hand it the user's actions; its
// listener hears of every change.
//
// It holds the words the screens show (the three charge registers as their sixteen
// toggles, the identifiers, the six Test Mode registers), the one refresh period in
// force, which periodic writes run and what they report, and the last values read from
// the input-data file. Every action on the bus returns an ActionResult.
class ChargerSession
{
public:
    // What the Application screen shows of one charge register.
    struct ChargeState
    {
        enum Part : unsigned { Toggles = 1, Value = 2, Warning = 4 };
        uint16_t nWord = 0;       // the sixteen toggles, every one counting
        uint16_t nPainted = 0;    // field toggles drawn in their bit's colour
        std::optional<int> value; // what the value box shows; nothing while it is empty
        bool bWarning = false;    // the warning label
        bool bKnown = false;      // read or written by this session
    };
    struct IdState
    {
        std::optional<uint16_t> manufacturer;
        std::optional<uint16_t> device;
    };
    // One Test Mode register: the word of its sixteen bit boxes and the bank Read reads.
    struct PanelState
    {
        enum Part : unsigned { Word = 1, Bank = 2 };
        uint16_t nWord = 0;
        int nBank = 0; // 0: the writable register, 1: its read-only copy
    };
    // What a value typed for a charge register comes to.
    struct SetOutcome
    {
        NormalisedValue normalised; // the value box and the warning
        uint16_t nWord = 0;         // the word written: the field from the value, the rest kept
        int nWritten = 0;           // the value that word stands for, as a read shows it
        bool bAdjusted = false;     // nWritten is not the value asked for
        ActionResult result;        // of the write (set only)
    };
    // The writes of one round of the periodic writes.
    struct TickOutcome
    {
        std::vector<ActionResult> writes;
        bool bStopped = false; // a stop was asked for before every write was made
        int failed() const;
        int32_t lastFailure() const; // the status of the last failed write, or 0
    };
    enum class Periodic { Off, Refresh, InputFile };

    static constexpr size_t kChargeCount = 3;
    static constexpr size_t kPanelCount = 6;

    // The session drives the adapter given (none: every transfer fails with
    // BusStatus::kNotOpen); time stamps and time-dependent rules go by the clock, which
    // must outlive it.
    explicit ChargerSession(std::unique_ptr<AdapterControl> adapter,
                            const Clock &clock = Clock::system(),
                            size_t nLogCapacity = BusLog::kDefaultCapacity);
    ~ChargerSession();
    ChargerSession(const ChargerSession &) = delete;
    ChargerSession &operator=(const ChargerSession &) = delete;

    // The adapter wrapper, the retried transfers on it and the log they record in.
    frmUSB &usb() { return m_usb; }
    BusLog &busLog() { return m_log; }
    BusTransactions &bus() { return m_bus; }
    const Clock &clock() const { return m_clock; }
    // Whoever is told of every change; each must be removed before it goes.
    void addListener(SessionListener *listener);
    void removeListener(SessionListener *listener);

    // Opens the first free adapter; false when there is none.
    bool open();
    void close();
    // The adapter open; empty while none is.
    const std::string &adapterName() const { return m_adapterName; }

    // The transfers made while one lives are one action of its kind (a kv7320ctl command
    // that reads several registers): the backend bounds what it spends on failures per
    // action, and lets a user's action through to a bridge that stopped answering once.
    // Without one, each of the calls below is an action of its own.
    class Action
    {
    public:
        Action(ChargerSession &session, BusAction kind);
        ~Action();
        Action(const Action &) = delete;
        Action &operator=(const Action &) = delete;

    private:
        ChargerSession &m_session;
    };

    // Any register, one action each (the register dialog, kv7320ctl's read and write).
    ActionResult read(uint8_t yCommand, BusAction kind = BusAction::User);
    ActionResult write(uint8_t yCommand, uint16_t nWord, BusAction kind = BusAction::User);

    // --- the three charge registers, in kChargeRegisters' order ----------------------
    static size_t chargeIndex(const ChargeRegister &reg);
    const ChargeState &charge(size_t i) const { return m_charges[i]; }
    // Read: the register into the state; a failure changes the value and toggles not.
    ActionResult readCharge(size_t i);
    // A toggle clicked: the bit, and the value the toggles now stand for.
    void setChargeBit(size_t i, int nBit, bool bOn);
    // What set would do, without doing it.
    SetOutcome planSet(size_t i, int nValue) const;
    // Write: the value limited and rounded as typed values are, the field's toggles set
    // from it (the others kept), and the sixteen written.
    SetOutcome set(size_t i, int nValue);
    // A charge register's word was read or written by other means (kv7320ctl's read and
    // write): the state takes it. Other registers are no business of this.
    void noteChargeWord(uint8_t yCommand, uint16_t nWord);

    // --- identification ---------------------------------------------------------------
    const IdState &ids() const { return m_ids; }
    // The manufacturer, then the device identifier: stops at the first failure, whose
    // result is the last.
    std::vector<ActionResult> readIds();

    // --- the Test Mode registers (kTestModeRegisters' order) -------------------------
    const PanelState &panel(size_t i) const { return m_panels[i]; }
    void setPanelWord(size_t i, uint16_t nWord);
    void setPanelBit(size_t i, int nBit, bool bOn);
    void setPanelBank(size_t i, int nBank);
    // The register Read reads now: the read-only copy when its bank is chosen.
    uint8_t panelReadCommand(size_t i) const;
    ActionResult readPanel(size_t i);
    ActionResult writePanel(size_t i);

    // --- the periodic writes ----------------------------------------------------------
    // The one period both periodic writes tick at; 0: they do not tick.
    int16_t refreshPeriodMs() const { return nRefreshPeriodMs; }
    // Where the period came from, for people: "from the settings file", "entered".
    const std::string &periodSource() const { return m_periodSource; }
    void setRefreshPeriod(int16_t nMs, const std::string &sSource);
    Periodic periodic() const { return m_periodic; }
    // Starts or stops the refresh or the input-file writes (at most one runs).
    void setPeriodic(Periodic mode);

    // One round of the keep-alive: the three charge registers written with the words
    // the toggles show. stop, when given, is asked before every write; true ends the
    // round there.
    TickOutcome keepAliveRound(const std::function<bool()> &stop = {});
    // The refresh's tick: a keep-alive round, told in the tick status.
    TickOutcome refreshTick();
    // The input-data file's tick: with numbers, each is limited and rounded, shown and
    // written; without (missing, changing, malformed), the last values read go out again
    // as they were and nothing shown changes. sFileNote says what the tick status tells
    // of the file: why it was not applied, or what cannot be watched.
    TickOutcome inputTick(const std::optional<std::array<int16_t, 3>> &numbers,
                          const std::string &sFileNote);
    // The last values read from the input-data file, before any limiting (zeros first).
    std::array<int16_t, 3> fileValues() const;

    // What the periodic writes report now ("Refresh: 3 of 3 writes failed at ...",
    // "Refresh: stopped, the period is 0 s"); empty when there is nothing to tell.
    std::string tickStatus() const;
    bool tickStatusIsFailure() const;

private:
    void notify(SessionChange change, size_t nIndex = 0, unsigned nParts = 0);
    void startAction(BusAction kind);
    bool stoppedByPeriod() const;
    ActionResult transfer(bool bWrite, uint8_t yCommand, uint16_t nWord);
    void showFileValue(size_t i, int nValue);

    const Clock &m_clock;
    frmUSB m_usb;
    BusLog m_log;
    BusTransactions m_bus;
    std::vector<SessionListener *> m_listeners;
    int m_openActions = 0; // Action scopes alive
    std::string m_adapterName;

    std::array<ChargeState, kChargeCount> m_charges{};
    IdState m_ids;
    std::array<PanelState, kPanelCount> m_panels{};

    int16_t nRefreshPeriodMs = 1000;
    std::string m_periodSource = "the default";
    Periodic m_periodic = Periodic::Off;
    TickReport m_refreshReport{"Refresh"};
    TickReport m_inputReport{"Input by File"};
    const TickReport *m_toldReport = &m_refreshReport; // the one the tick status tells
    int16_t nFileChargeCurrent = 0;
    int16_t nFileChargeVoltage = 0;
    int16_t nFileInputCurrent = 0;
};
