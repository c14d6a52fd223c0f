#include "GameLink.h"

#include <new>

#include "afx.h"
#include "ipc/MapIPC.h"

int CGameLink::m_nReferenceCount = 0;

CGameLink::CGameLink() : m_hLink(nullptr) {}

// A channel end has exactly one owner: copies start unconnected.
CGameLink::CGameLink(const CGameLink&) : m_hLink(nullptr) {}

CGameLink& CGameLink::operator=(const CGameLink& other)
{
    if (this != &other) CloseConnect();
    return *this;
}

CGameLink::~CGameLink() { CloseConnect(); }

int CGameLink::ConnectServer(const char* szServerName, HWND hWnd)
{
    if (!AfxIsValidAddress(this, sizeof(*this), TRUE)) {
        TRACE("Warning : CGameLink::ConnectServer() : CGameLink is not valid now\n");
        return 0;
    }
    if (++m_nReferenceCount > 1) {
        --m_nReferenceCount;
        TRACE("Error : ConnectServer() : twice connect is denied\n");
        return 0;
    }

    const char* name = szServerName;
    if (!name || !*name) {
        if (g_ipcConfig.bMultChanel) {
            --m_nReferenceCount;
            TRACE("此程序必须通过大厅程序启动\r\n");
            return 0;
        }
        name = g_ipcConfig.szServerName;
    } else if (!g_ipcConfig.bMultChanel) {
        TRACE("Warn : It's not bMultChanel mode,but szServerName = %s\r\n", szServerName);
    }

    // The shared record may be rewritten by another process at any time: take a bounded,
    // terminated copy of the name.
    char szName[260];
    lstrcpynA(szName, name, sizeof szName);

    CMapIPC* pipc = nullptr;
    try {
        pipc = new (std::nothrow) CMapIPC;
    } catch (...) {
        // The channel end's resource error goes to the caller, but the turn is given back.
        --m_nReferenceCount;
        throw;
    }
    if (!pipc) {
        --m_nReferenceCount;
        TRACE("Error : ConnectServer() : no memory.\n");
        return 0;
    }
    if (!pipc->ConnectServerMapIPC(szName, hWnd)) {
        delete pipc;
        --m_nReferenceCount;
        TRACE("Error : ConnectServer() : pipc->ConnectServerMapIPC() failed\n");
        return 0;
    }
    m_hLink = pipc;
    return 1;
}

int CGameLink::IsConnectOK()
{
    if (!AfxIsValidAddress(this, sizeof(*this), TRUE)) {
        TRACE("Warning : CGameLink::IsConnectOK() : CGameLink is not valid now\n");
        return 0;
    }
    return m_hLink ? m_hLink->IsConnected() : 0;
}

void CGameLink::CloseConnect()
{
    if (!m_hLink) return;
    m_nReferenceCount = 0;
    delete m_hLink;
    m_hLink = nullptr;
}

int CGameLink::RecvCmd(unsigned char& cCmdID, char* data, int& len)
{
    if (!AfxIsValidAddress(this, sizeof(*this), TRUE)) {
        TRACE("Warning : CGameLink::RecvCmd() : CGameLink is not valid now\n");
        return 1;
    }
    if (!m_hLink) {
        TRACE("Error : CGameLink::RecvCmd() : m_hLink == NULL?\n");
        return 1;
    }
    return m_hLink->RecvPacket(cCmdID, data, len);
}

int CGameLink::SendCmd(unsigned char cCmdID, const char* data, int len)
{
    if (!AfxIsValidAddress(this, sizeof(*this), TRUE)) {
        TRACE("Warning : CGameLink::SendCmd() : CGameLink is not valid now\n");
        return 1;
    }
    if (!m_hLink) {
        TRACE("Error : CGameLink::SendCmd() : m_hLink == NULL?\n");
        return 1;
    }
    return m_hLink->QueuePacket(cCmdID, data, len);
}
