#include "service/supervision/core_config_document.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "common/wide_text.h"

namespace velk {
namespace {

constexpr wchar_t kData[] = L"C:\\ProgramData\\VELK-VPN";

using Json = nlohmann::json;

// The copy as the core's decoder sees it: plain JSON, no comments.
Json CopyAsRead(const CoreConfigCopy& copy) {
    return Json::parse(copy.text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
}

// Text that one reader takes for a comment and the other does not: the core
// ends a "//" comment only at a line feed and also takes "#" comments. Each
// hides a "log" that writes outside the data folder from one of the two.
TEST(CoreConfigDocumentTest, CommentsTheTwoReadersEndDifferentlyCannotHideALog) {
    const std::string evil = R"("log": {"access": "C:\\Windows\\evil.log"}, )";
    struct Case {
        const char* name;
        std::string text;
        bool accepted;
    };
    const Case cases[] = {
        // Ours ends the comment at the CR and then reads a block comment
        // that the core never opens: the core alone would see the log.
        {"// ended by a CR", "{ // \r /* \n " + evil + "// */ \n \"stats\": {} }", true},
        {"// ended by a NUL",
         "{ // " + std::string(1, '\0') + " /* \n " + evil + "// */ \n \"stats\": {} }", true},
        // The other way round the log is ours to see, and is refused.
        {"log after a CR", "{ // \r " + evil + "\n \"stats\": {} }", false},
        {"# comment", "{ # " + evil + "\n \"stats\": {} }", false},
        {"# comment hiding nothing", "# client\n{\"stats\": {}}", false},
    };
    for (const Case& c : cases) {
        const CoreConfigCopy copy = CheckedCoreConfig(c.text, kData);
        EXPECT_EQ(copy.problem.empty(), c.accepted) << c.name << ": " << WideToUtf8(copy.problem);
        if (c.accepted) {
            EXPECT_EQ(copy.text, R"({"stats":{}})") << c.name;
            EXPECT_EQ(copy.text.find("evil"), std::string::npos) << c.name;
        } else {
            EXPECT_EQ(copy.text, "") << c.name;
        }
    }
}

TEST(CoreConfigDocumentTest, TheCopyIsTheDocumentWithoutCommentsAndWithItsNumbers) {
    struct Case {
        const char* name;
        std::string text;
        std::string copy;
    };
    const Case cases[] = {
        {"comments and blanks go", "/* a */ {\r\n  \"stats\" : { } // b\n}\n", R"({"stats":{}})"},
        {"integers stay integers",
         R"({"policy": {"levels": {"0": {"handshake": 4, "big": 18446744073709551615, "low": -9223372036854775808}}}})",
         R"({"policy":{"levels":{"0":{"big":18446744073709551615,"handshake":4,"low":-9223372036854775808}}}})"},
        {"fractions stay fractions", R"({"policy": {"x": 1.5, "y": 2.0, "z": 1e2}})",
         R"({"policy":{"x":1.5,"y":2.0,"z":100.0}})"},
        {"text as it was",
         R"({"dns": {"hosts": {"\u00e9.example": "1.2.3.4", "q\"\\": "\u0001"}}})",
         "{\"dns\":{\"hosts\":{\"q\\\"\\\\\":\"\\u0001\",\"\xC3\xA9.example\":\"1.2.3.4\"}}}"},
        {"lists keep their order", R"({"routing": {"rules": [{"b": 1}, {"a": 2}]}})",
         R"({"routing":{"rules":[{"b":1},{"a":2}]}})"},
    };
    for (const Case& c : cases) {
        const CoreConfigCopy copy = CheckedCoreConfig(c.text, kData);
        EXPECT_EQ(copy.problem, L"") << c.name;
        EXPECT_EQ(copy.text, c.copy) << c.name;
    }
}

// One row for each rule of the field table, accepted and refused.
TEST(CoreConfigDocumentTest, EveryFieldThatNamesAFileASocketOrAnEndpointHasItsRule) {
    struct Case {
        const char* name;
        std::string json;
        bool accepted;
    };
    const Case cases[] = {
        // "log": none, or a file in the data folder; relative: one plain name.
        {"log names off", R"({"log": {"access": "none", "error": "", "loglevel": "warning"}})",
         true},
        {"null log and names", R"({"log": {"access": null}, "api": null, "inbounds": null})", true},
        {"log plain names", R"({"log": {"access": "access.log", "Error": "error.log"}})", true},
        {"log full path inside", R"({"log": {"access": "C:\\ProgramData\\VELK-VPN\\a.log"}})",
         true},
        {"log relative with a folder", R"({"log": {"access": "logs\\a.log"}})", false},
        {"log outside", R"({"log": {"access": "C:\\Windows\\x.log"}})", false},
        {"log climbing", R"({"log": {"error": "..\\x.log"}})", false},
        {"log UNC", R"({"log": {"error": "\\\\host\\share\\x.log"}})", false},
        {"log through escapes", R"({"log": {"error": "\u002e\u002e/x.log"}})", false},
        {"log key with a long s", "{\"log\": {\"acce\xC5\xBF\xC5\xBF\": \"C:\\\\W\\\\x.log\"}}",
         false},
        {"log name not text", R"({"log": {"access": ["C:\\Windows\\x.log"]}})", false},
        {"log not an object", R"({"log": "C:\\Windows\\x.log"})", false},
        // The control API: statistics only.
        {"api statistics", R"({"api": {"tag": "api", "services": ["StatsService"]}, "stats": {}})",
         true},
        {"api statistics, any case", R"({"API": {"services": ["statsservice"]}})", true},
        {"api handlers", R"({"api": {"services": ["StatsService", "HandlerService"]}})", false},
        {"api logger", R"({"api": {"services": ["LoggerService"]}})", false},
        {"api routing", R"({"api": {"services": ["RoutingService"]}})", false},
        {"api reflection", R"({"api": {"services": ["ReflectionService"]}})", false},
        {"api services not a list", R"({"api": {"services": "HandlerService"}})", false},
        // Metrics and profiling: refused.
        {"metrics", R"({"metrics": {"tag": "metrics"}})", false},
        {"metrics in capitals", R"({"METRICS": {}})", false},
        // Files the core would read or write as SYSTEM, at any depth.
        {"inline certificate",
         R"({"outbounds": [{"streamSettings": {"tlsSettings": {"certificates": [{"certificate": ["x"], "key": ["y"]}]}}}]})",
         true},
        {"certificate file",
         R"({"inbounds": [{"streamSettings": {"tlsSettings": {"certificates": [{"certificateFile": "C:\\a.crt"}]}}}]})",
         false},
        {"key file in the global transport",
         R"({"transport": {"tlsSettings": {"certificates": [{"KEYFILE": "C:\\a.key"}]}}})", false},
        {"key file with a Kelvin sign",
         "{\"outbounds\": [{\"tls\": [{\"\xE2\x84\xAA"
         "eyFile\": \"C:\\\\a.key\"}]}]}",
         false},
        {"master key log",
         R"({"outbounds": [{"streamSettings": {"tlsSettings": {"masterKeyLog": "k.log"}}}]})",
         false},
        // Data files named by "ext:": one plain name beside the core.
        {"ext names",
         R"({"routing": {"rules": [{"domain": ["ext:my.dat:ads"], "ip": ["ext-ip:ip.dat:x"]}]}})",
         true},
        {"ext climbing", R"({"routing": {"rules": [{"domain": ["ext:..\\..\\x.dat:tag"]}]}})",
         false},
        {"ext with a folder", R"({"routing": {"rules": [{"ip": ["ext-ip:sub/x.dat:tag"]}]}})",
         false},
        {"ext in capitals", R"({"routing": {"rules": [{"domain": ["EXT-DOMAIN:../x.dat:t"]}]}})",
         false},
        {"ext device", R"({"dns": {"servers": [{"domains": ["ext:CON:tag"]}]}})", false},
        {"ext as a hosts key", R"({"dns": {"hosts": {"ext:../h.dat:tag": "1.2.3.4"}}})", false},
        {"ext empty", R"({"routing": {"rules": [{"domain": ["ext::tag"]}]}})", false},
        // Listeners: an address, never a socket path.
        {"listen addresses",
         R"({"inbounds": [{"listen": "127.0.0.1"}, {"listen": "::1"}, {"Listen": "0.0.0.0"}, {"listen": "localhost"}, {}]})",
         true},
        {"listen on a socket path", R"({"inbounds": [{"listen": "/run/x.sock"}]})", false},
        {"listen on an abstract socket", R"({"inbounds": [{"LISTEN": "@x"}]})", false},
        {"listen on a Windows path", R"({"inbounds": [{"listen": "C:\\x.sock"}]})", false},
        {"listen on a name", R"({"inbounds": [{"listen": "evil.example"}]})", false},
        {"listen not text", R"({"inbounds": [{"listen": 5}]})", false},
        {"inbounds not a list", R"({"inbounds": {"listen": "/x"}})", false},
        // Domain sockets as transports and as fallbacks.
        {"tcp network", R"({"routing": {"rules": [{"network": "tcp,udp"}]}})", true},
        {"domain socket network", R"({"outbounds": [{"streamSettings": {"network": "ds"}}]})",
         false},
        {"domain socket network, long name",
         R"({"outbounds": [{"streamSettings": {"network": "DomainSocket"}}]})", false},
        // The core lowers the value as Go does: the Kelvin sign is a k, the
        // dotted capital I an i; the long s stays what it is.
        {"domain socket network with a Kelvin sign",
         "{\"outbounds\": [{\"streamSettings\": {\"network\": \"domainsoc\xE2\x84\xAA"
         "et\"}}]}",
         false},
        {"domain socket network with a dotted I",
         "{\"outbounds\": [{\"streamSettings\": {\"network\": \"doma\xC4\xB0nsocket\"}}]}", false},
        {"network with a long s", "{\"routing\": {\"rules\": [{\"network\": \"d\xC5\xBF\"}]}}",
         true},
        {"domain socket settings", R"({"transport": {"dsSettings": {"path": "/x"}}})", false},
        {"fallback to a port", R"({"inbounds": [{"settings": {"fallbacks": [{"dest": 80}]}}]})",
         true},
        {"fallback to a socket", R"({"inbounds": [{"settings": {"fallbacks": [{"dest": "@x"}]}}]})",
         false},
        // Top-level keys nobody reviewed.
        {"every reviewed key",
         R"({"log": {}, "api": {}, "dns": {}, "fakedns": [], "routing": {}, "policy": {}, "inbounds": [], "outbounds": [], "transport": {}, "stats": {}, "reverse": {}, "observatory": {}, "burstObservatory": {}})",
         true},
        {"v4's old inbound", R"({"inbound": {"port": 1080}})", false},
        {"v4's inbound detours", R"({"inboundDetour": []})", false},
        {"a newer core's key", R"({"somethingNew": {}})", false},
        // Two keys the core would merge, at any depth.
        {"log twice", R"({"log": {"access": "C:\\W\\x.log"}, "log": {"error": "e.log"}})", false},
        {"log twice in two cases", R"({"log": {}, "Log": {}})", false},
        {"access twice", R"({"log": {"access": "a.log", "ACCESS": "b.log"}})", false},
        {"a key twice deep down", R"({"routing": {"rules": [{"type": "field", "Type": "x"}]}})",
         false},
        {"same key in two objects", R"({"routing": {"a": {"x": 1}, "b": {"x": 1}}})", true},
        // Not one JSON object.
        {"not an object", R"(["log"])", false},
        {"not JSON", "stdout=core started\n", false},
        {"YAML", "log:\n  access: access.log\n", false},
        {"cut off", R"({"log": {"access": "a.log")", false},
        {"two documents", R"({} {})", false},
        {"empty", "", false},
        {"malformed UTF-8", "{\"log\": {\"access\": \"\xC3(\"}}", false},
    };
    for (const Case& c : cases) {
        const CoreConfigCopy copy = CheckedCoreConfig(c.json, kData);
        EXPECT_EQ(copy.problem.empty(), c.accepted) << c.name << ": " << WideToUtf8(copy.problem);
        if (c.accepted) {
            EXPECT_EQ(CopyAsRead(copy), Json::parse(c.json)) << c.name;
        } else {
            EXPECT_EQ(copy.text, "") << c.name;
        }
    }
}

TEST(CoreConfigDocumentTest, NestingIsBoundedWithoutExhaustingTheStack) {
    const auto nested = [](std::size_t depth) {
        return "{\"routing\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    EXPECT_EQ(CheckedCoreConfig(nested(kMaxCoreConfigDepth), kData).problem, L"");
    EXPECT_NE(CheckedCoreConfig(nested(kMaxCoreConfigDepth + 1), kData).problem, L"");
    EXPECT_NE(CheckedCoreConfig(nested(100000), kData).problem, L"");
}

// As graphical clients write it: SOCKS and HTTP inbounds on 127.0.0.1, the
// statistics API on its own inbound, routing rules with domain and IP
// entries, a DNS object and a policy with statistics.
TEST(CoreConfigDocumentTest, AGraphicalClientsConfigurationPassesWhole) {
    const std::string text = R"({
  // written by a client
  "log": {"loglevel": "warning", "access": "access.log", "error": ""},
  "api": {"tag": "api", "services": ["StatsService"]},
  "stats": {},
  "policy": {"levels": {"8": {"handshake": 4, "connIdle": 300, "statsUserUplink": true}},
             "system": {"statsInboundUplink": true, "statsInboundDownlink": true}},
  "dns": {"hosts": {"domain:example.org": "127.0.0.1"},
          "servers": ["1.1.1.1", {"address": "8.8.8.8", "port": 53, "domains": ["domain:example.com"]}]},
  "inbounds": [
    {"tag": "socks", "listen": "127.0.0.1", "port": 10808, "protocol": "socks",
     "settings": {"auth": "noauth", "udp": true}, "sniffing": {"enabled": true, "destOverride": ["http", "tls"]}},
    {"tag": "http", "listen": "127.0.0.1", "port": 10809, "protocol": "http", "settings": {}},
    {"tag": "api", "listen": "127.0.0.1", "port": 10813, "protocol": "dokodemo-door",
     "settings": {"address": "127.0.0.1"}}
  ],
  "outbounds": [
    {"tag": "proxy", "protocol": "vmess",
     "settings": {"vnext": [{"address": "203.0.113.7", "port": 443,
                             "users": [{"id": "a3482e88-686a-4a58-8126-99c9df64b7bf", "alterId": 0}]}]},
     "streamSettings": {"network": "ws", "security": "tls",
                        "tlsSettings": {"serverName": "example.com", "allowInsecure": false},
                        "wsSettings": {"path": "/ray"}}, "mux": {"enabled": false}},
    {"tag": "direct", "protocol": "freedom", "settings": {}},
    {"tag": "block", "protocol": "blackhole", "settings": {}}
  ],
  "routing": {"domainStrategy": "IPIfNonMatch", "rules": [
    {"type": "field", "inboundTag": ["api"], "outboundTag": "api"},
    {"type": "field", "domain": ["domain:example.com", "full:www.example.net", "keyword:ads"], "outboundTag": "block"},
    {"type": "field", "ip": ["127.0.0.0/8", "10.0.0.0/8", "::1/128"], "outboundTag": "direct"},
    {"type": "field", "port": "0-65535", "network": "tcp,udp", "outboundTag": "proxy"}
  ]}
})";
    const CoreConfigCopy copy = CheckedCoreConfig(text, kData);
    ASSERT_EQ(copy.problem, L"");
    EXPECT_EQ(CopyAsRead(copy), Json::parse(text, nullptr, false, true));
}

}  // namespace
}  // namespace velk
