#pragma once
// The helper log lines of the entry and the start and stop sequences, each
// spelled once. Scripts and people read these lines; keep them exact.
namespace netsteer {

inline constexpr wchar_t kMsgResolvedServerIp[] = L"Resolved server IP: ";
inline constexpr wchar_t kMsgResolvedServerHost[] = L"Resolved server Host: ";

inline constexpr wchar_t kMsgReturnHostNotResolved[] = L"RETURN 2: GetVpnServerIp not found";
inline constexpr wchar_t kMsgReturnTunnelNotFound[] = L"RETURN 3: tunnel index not found";
inline constexpr wchar_t kMsgReturnNoDefaultRoute[] = L"RETURN 4: active default route not found";
inline constexpr wchar_t kMsgReturnNoUplinkIndex[] = L"RETURN 5: uplink interface index not found";
inline constexpr wchar_t kMsgReturnUnknownAction[] = L"RETURN 6: unknown action";
inline constexpr wchar_t kMsgReturnNoStateOnStop[] = L"RETURN 7: state file missing on stop";
inline constexpr wchar_t kMsgReturnTunnelRouteFailed[] = L"RETURN 8: AddTunnelDefaultRoute failed";
inline constexpr wchar_t kMsgReturnBypassRouteFailed[] = L"RETURN 9: AddServerBypassRoute failed";
inline constexpr wchar_t kMsgReturnRestoreFailed[] = L"RETURN 10: restore default route failed";
inline constexpr wchar_t kMsgReturnSaveStateFailed[] = L"RETURN 11: save state failed";
inline constexpr wchar_t kMsgReturnStartDone[] = L"RETURN 0: start done";
inline constexpr wchar_t kMsgStopEnded[] = L"Stop Ended .... return 0";

inline constexpr wchar_t kMsgStartCalled[] = L"[HELPER] START CALLED";
inline constexpr wchar_t kMsgStopCalled[] = L"[HELPER] STOP CALLED";
inline constexpr wchar_t kMsgTunnelIndexFound[] = L"Tunnel index found";
inline constexpr wchar_t kMsgDeleteStateDone[] = L"Delete State Done";
inline constexpr wchar_t kMsgSaveStateDone[] = L"Save State Done";
inline constexpr wchar_t kMsgAddBypassDone[] = L"Add Server Bypass Route Done";
inline constexpr wchar_t kMsgDeleteAllDefaultsDone[] = L"Delete All Default Routes Done";
inline constexpr wchar_t kMsgAddTunnelDefaultDone[] = L"Add Tunnel Default Route Done";
inline constexpr wchar_t kMsgDeleteTunnelDefaultDone[] = L"Delete Tunnel Default Route Done";
inline constexpr wchar_t kMsgDeleteBypassDone[] = L"Delete Server Bypass Route Done";
inline constexpr wchar_t kMsgRestoreDefaultDone[] = L"Restore Default Route Done";

// A recorded state from another network: followed by the saved gateway.
inline constexpr wchar_t kMsgSavedGatewayGone[] =
    L"Saved Gateway Not On This Network, Default Routes Kept: ";
// What `start` removes of such a state that an earlier `start` left behind.
inline constexpr wchar_t kMsgDeleteLeftoverBypassDone[] =
    L"Delete Leftover Server Bypass Route Done";
inline constexpr wchar_t kMsgDeleteLeftoverStateDone[] = L"Delete Leftover State Done";
inline constexpr wchar_t kMsgDeleteLeftoverTunnelDefaultDone[] =
    L"Delete Leftover Tunnel Default Route Done";

// The IPv6 and DNS part of `start`, `stop` and `clear-dns`.
inline constexpr wchar_t kMsgAddIpv6RoutesDone[] = L"Add IPv6 Tunnel Routes Done";
inline constexpr wchar_t kMsgAddNrptRuleDone[] = L"Add DNS Rule And Flush Done";
inline constexpr wchar_t kMsgDnsNotSteered[] = L"No DNS server given: DNS not steered";
inline constexpr wchar_t kMsgIpv6DnsNotRecorded[] =
    L"Save State For IPv6 And DNS Failed: IPv6 and DNS not steered";
inline constexpr wchar_t kMsgUndoIpv6DnsDone[] = L"Delete IPv6 Tunnel Routes And DNS Rule Done";
inline constexpr wchar_t kMsgClearDnsRulesDone[] = L"Clear Tagged DNS Rules Done";

}  // namespace netsteer
