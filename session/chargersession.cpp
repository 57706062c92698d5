#include "chargersession.h"

#include "testmoderegisters.h"

#include <algorithm>

int ChargerSession::TickOutcome::failed() const
{
    return int(
        std::count_if(writes.begin(), writes.end(), [](const ActionResult &r) { return !r.ok(); }));
}

int32_t ChargerSession::TickOutcome::lastFailure() const
{
    for (auto it = writes.rbegin(); it != writes.rend(); ++it)
        if (!it->ok())
            return it->nStatus;
    return 0;
}

ChargerSession::ChargerSession(std::unique_ptr<AdapterControl> adapter, const Clock &clock,
                               size_t nLogCapacity)
    : m_clock(clock)
    , m_usb(std::move(adapter))
    , m_log(nLogCapacity, clock)
    , m_bus(m_usb, m_log)
{}

ChargerSession::~ChargerSession() = default;

void ChargerSession::addListener(SessionListener *listener)
{
    m_listeners.push_back(listener);
}

void ChargerSession::removeListener(SessionListener *listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener),
                      m_listeners.end());
}

void ChargerSession::notify(SessionChange change, size_t nIndex, unsigned nParts)
{
    // A copy: a listener may go while it is told.
    const std::vector<SessionListener *> listeners = m_listeners;
    for (SessionListener *l : listeners)
        l->sessionChanged(change, nIndex, nParts);
}

ChargerSession::Action::Action(ChargerSession &session, BusAction kind)
    : m_session(session)
{
    m_session.startAction(kind);
    ++m_session.m_openActions;
}

ChargerSession::Action::~Action()
{
    --m_session.m_openActions;
}

void ChargerSession::startAction(BusAction kind)
{
    if (m_openActions == 0)
        m_bus.beginBusAction(kind);
}

bool ChargerSession::open()
{
    const bool opened = m_usb.OpenFirstFreeDevice();
    m_adapterName = m_usb.openedAdapterName();
    m_usb.nDeviceAddress = kChargerAddress;
    notify(SessionChange::Adapter);
    return opened;
}

void ChargerSession::close()
{
    m_usb.CloseDevice();
    m_adapterName.clear();
    notify(SessionChange::Adapter);
}

// The one way every action reaches the bus: retried, logged, as a word.
ActionResult ChargerSession::transfer(bool bWrite, uint8_t yCommand, uint16_t nWord)
{
    ActionResult result;
    result.bWrite = bWrite;
    result.yCommand = yCommand;
    result.nWord = nWord;
    if (bWrite) {
        result.nStatus = m_bus.writeRegister(yCommand, nWord);
    } else {
        result.nWord = 0;
        result.nStatus = m_bus.readRegister(yCommand, result.nWord);
    }
    return result;
}

ActionResult ChargerSession::read(uint8_t yCommand, BusAction kind)
{
    startAction(kind);
    return transfer(false, yCommand, 0);
}

ActionResult ChargerSession::write(uint8_t yCommand, uint16_t nWord, BusAction kind)
{
    startAction(kind);
    return transfer(true, yCommand, nWord);
}

size_t ChargerSession::chargeIndex(const ChargeRegister &reg)
{
    for (size_t i = 0; i < kChargeRegisters.size(); ++i)
        if (kChargeRegisters[i] == &reg || kChargeRegisters[i]->yCommand == reg.yCommand)
            return i;
    return 0;
}

ActionResult ChargerSession::readCharge(size_t i)
{
    const ChargeRegister &reg = *kChargeRegisters[i];
    ChargeState &c = m_charges[i];
    const ActionResult result = read(reg.yCommand);
    unsigned parts = 0;
    if (result.ok()) {
        c.nWord = result.nWord;
        c.nPainted = reg.fieldMask();
        c.value = displayedValue(reg, result.nWord);
        c.bKnown = true;
        parts |= ChargeState::Toggles | ChargeState::Value;
    }
    // The charge current's warning goes with a good read only; the other two frames
    // hide theirs after any read.
    if ((result.ok() || &reg != &kChargeCurrent) && c.bWarning) {
        c.bWarning = false;
        parts |= ChargeState::Warning;
    }
    if (parts)
        notify(SessionChange::Charge, i, parts);
    return result;
}

void ChargerSession::setChargeBit(size_t i, int nBit, bool bOn)
{
    const ChargeRegister &reg = *kChargeRegisters[i];
    ChargeState &c = m_charges[i];
    const auto bit = static_cast<uint16_t>(1u << nBit);
    c.nWord = static_cast<uint16_t>(bOn ? c.nWord | bit : c.nWord & ~bit);
    c.nPainted |= static_cast<uint16_t>(bit & reg.fieldMask());
    c.value = displayedValue(reg, c.nWord);
    notify(SessionChange::Charge, i, ChargeState::Toggles | ChargeState::Value);
}

ChargerSession::SetOutcome ChargerSession::planSet(size_t i, int nValue) const
{
    const ChargeRegister &reg = *kChargeRegisters[i];
    SetOutcome out;
    out.normalised = normaliseTyped(reg, nValue);
    out.nWord = static_cast<uint16_t>((m_charges[i].nWord & ~reg.fieldMask()) |
                                      fieldBitsFor(reg, out.normalised.nValue));
    out.nWritten = displayedValue(reg, out.nWord);
    out.bAdjusted = out.nWritten != nValue;
    return out;
}

ChargerSession::SetOutcome ChargerSession::set(size_t i, int nValue)
{
    const ChargeRegister &reg = *kChargeRegisters[i];
    SetOutcome out = planSet(i, nValue);
    ChargeState &c = m_charges[i];
    c.value = out.normalised.nValue;
    c.bWarning = out.normalised.bWarning;
    c.nWord = out.nWord;
    c.nPainted |= reg.fieldMask();
    c.bKnown = true;
    notify(SessionChange::Charge, i,
           ChargeState::Toggles | ChargeState::Value | ChargeState::Warning);
    out.result = write(reg.yCommand, c.nWord);
    return out;
}

void ChargerSession::noteChargeWord(uint8_t yCommand, uint16_t nWord)
{
    for (size_t i = 0; i < kChargeRegisters.size(); ++i) {
        if (kChargeRegisters[i]->yCommand != yCommand)
            continue;
        m_charges[i].nWord = nWord;
        m_charges[i].bKnown = true;
        notify(SessionChange::Charge, i, ChargeState::Toggles);
    }
}

std::vector<ActionResult> ChargerSession::readIds()
{
    std::vector<ActionResult> results;
    startAction(BusAction::User);
    for (const bool bDevice : {false, true}) {
        results.push_back(
            transfer(false, bDevice ? kDeviceIdRegister : kManufacturerIdRegister, 0));
        if (!results.back().ok())
            break;
        (bDevice ? m_ids.device : m_ids.manufacturer) = results.back().nWord;
        notify(SessionChange::Ids);
    }
    return results;
}

void ChargerSession::setPanelWord(size_t i, uint16_t nWord)
{
    if (m_panels[i].nWord == nWord)
        return;
    m_panels[i].nWord = nWord;
    notify(SessionChange::Panel, i, PanelState::Word);
}

void ChargerSession::setPanelBit(size_t i, int nBit, bool bOn)
{
    const auto bit = static_cast<uint16_t>(1u << nBit);
    setPanelWord(i,
                 static_cast<uint16_t>(bOn ? m_panels[i].nWord | bit : m_panels[i].nWord & ~bit));
}

void ChargerSession::setPanelBank(size_t i, int nBank)
{
    if (m_panels[i].nBank == nBank || !kTestModeRegisters[i].hasBanks())
        return;
    m_panels[i].nBank = nBank;
    notify(SessionChange::Panel, i, PanelState::Bank);
}

uint8_t ChargerSession::panelReadCommand(size_t i) const
{
    const TestModeRegister &r = kTestModeRegisters[i];
    return r.hasBanks() && m_panels[i].nBank != 0 ? r.yReadOnlyCommand : r.yCommand;
}

ActionResult ChargerSession::readPanel(size_t i)
{
    m_usb.nDeviceAddress = kChargerAddress;
    const ActionResult result = read(panelReadCommand(i));
    // A failed read changes nothing: no 0000 that was never read. A good one is shown,
    // even when it is the word shown already.
    if (result.ok()) { // a panel's read
        m_panels[i].nWord = result.nWord;
        notify(SessionChange::Panel, i, PanelState::Word);
    }
    m_usb.nDeviceAddress = kChargerAddress;
    return result;
}

ActionResult ChargerSession::writePanel(size_t i)
{
    return write(kTestModeRegisters[i].yCommand, m_panels[i].nWord);
}

void ChargerSession::setRefreshPeriod(int16_t nMs, const std::string &sSource)
{
    nRefreshPeriodMs = nMs;
    m_periodSource = sSource;
    notify(SessionChange::Period);
    notify(SessionChange::TickStatus); // a period of 0 stops the periodic writes
}

void ChargerSession::setPeriodic(Periodic mode)
{
    if (mode == m_periodic)
        return;
    // Whatever was told about the writes that stop, or start afresh, is over.
    m_refreshReport.reset();
    m_inputReport.reset();
    m_periodic = mode;
    m_toldReport = mode == Periodic::InputFile ? &m_inputReport : &m_refreshReport;
    notify(SessionChange::Periodic);
    notify(SessionChange::TickStatus);
}

ChargerSession::TickOutcome ChargerSession::keepAliveRound(const std::function<bool()> &stop)
{
    TickOutcome out;
    m_bus.beginBusAction(BusAction::Tick);
    for (size_t i = 0; i < kChargeRegisters.size(); ++i) {
        if (stop && stop()) {
            out.bStopped = true;
            break;
        }
        out.writes.push_back(transfer(true, kChargeRegisters[i]->yCommand, m_charges[i].nWord));
    }
    return out;
}

ChargerSession::TickOutcome ChargerSession::refreshTick()
{
    TickOutcome out = keepAliveRound();
    // Told in the window, never in a box: a tick must not wait on the user.
    m_refreshReport.tick(m_clock.wallMs(), int(out.writes.size()), out.failed(), out.lastFailure());
    m_toldReport = &m_refreshReport;
    notify(SessionChange::TickStatus);
    return out;
}

void ChargerSession::showFileValue(size_t i, int nValue)
{
    const ChargeRegister &reg = *kChargeRegisters[i];
    ChargeState &c = m_charges[i];
    const NormalisedValue v = normaliseFromFile(reg, nValue);
    c.value = v.nValue;
    c.bWarning = v.bWarning;
    c.nWord = static_cast<uint16_t>((c.nWord & ~reg.fieldMask()) | fieldBitsFor(reg, v.nValue));
    c.nPainted |= reg.fieldMask();
    c.bKnown = true;
    notify(SessionChange::Charge, i,
           ChargeState::Toggles | ChargeState::Value | ChargeState::Warning);
}

ChargerSession::TickOutcome
ChargerSession::inputTick(const std::optional<std::array<int16_t, 3>> &numbers,
                          const std::string &sFileNote)
{
    TickOutcome out;
    m_bus.beginBusAction(BusAction::Tick);
    if (numbers) {
        nFileChargeCurrent = (*numbers)[0];
        nFileChargeVoltage = (*numbers)[1];
        nFileInputCurrent = (*numbers)[2];
    }
    const std::array<int16_t, 3> last = fileValues();
    for (size_t i = 0; i < kChargeRegisters.size(); ++i) {
        const ChargeRegister &reg = *kChargeRegisters[i];
        if (numbers) {
            showFileValue(i, last[i]);
            out.writes.push_back(transfer(true, reg.yCommand, m_charges[i].nWord));
        } else {
            // The last values read go out again as they are; what is shown stays.
            out.writes.push_back(transfer(true, reg.yCommand, recoveryWord(reg, last[i])));
        }
    }
    m_inputReport.tick(m_clock.wallMs(), int(out.writes.size()), out.failed(), out.lastFailure(),
                       sFileNote);
    m_toldReport = &m_inputReport;
    notify(SessionChange::TickStatus);
    return out;
}

std::array<int16_t, 3> ChargerSession::fileValues() const
{
    return {nFileChargeCurrent, nFileChargeVoltage, nFileInputCurrent};
}

bool ChargerSession::stoppedByPeriod() const
{
    return m_periodic != Periodic::Off && nRefreshPeriodMs == 0;
}

std::string ChargerSession::tickStatus() const
{
    // A ticked box that does nothing must not look like one at work.
    if (stoppedByPeriod())
        return std::string(m_periodic == Periodic::Refresh ? "Refresh" : "Input by File") +
               ": stopped, the period is 0 s";
    return m_toldReport->text();
}

bool ChargerSession::tickStatusIsFailure() const
{
    return stoppedByPeriod() || m_toldReport->isFailure();
}
