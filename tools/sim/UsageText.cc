#include "UsageText.h"

#include "platform/SystemWords.h"

namespace zp::sim {

namespace {

const char* Page() {
  return R"(NAME
    zelvan-gateway-sim - simulated route server and gateway routes on loopback

SYNOPSIS
    zelvan-gateway-sim [--route-server [ADDRESS:PORT] [OPTION...]]... [--route NAME [OPTION...]]...
                       [--entry TEXT]... [--scenario FILE]... [--duration SECONDS] [--help]

DESCRIPTION
    Serves the peers a probe talks to, on 127.0.0.0/8 only: route servers that answer a
    route request with "OK" and the route list, and gateway routes that answer logins,
    detail records, heartbeats, public-key requests and logouts. Each peer can be told to
    misbehave in the ways a probe must cope with (FAULTS below).

    Without any --route-server there is one on 127.0.0.1:26880 (hexadecimal 6900); without
    any --route there are three healthy routes r1, r2 and r3 on ephemeral ports. So with no
    arguments at all the program serves a complete healthy gateway.

    Ports on the command line and in route entries are decimal; the probe takes the route
    server's port in hexadecimal (its Port box and --port) and traces every port in
    hexadecimal too. When everything listens, one line goes to standard output with every
    port both ways:
        READY route-server=127.0.0.1:26880 route-server-hex=127.0.0.1:6900
              route-ports-hex=r1:9C41,r2:9C42,... routes=r1=127.0.0.1:40001,r2=127.0.0.1:40002,...
    (one line; "routes=" comes last and runs to its end). The program then runs until a
    stop request (@STOP@) or for --duration and exits 0; a second request ends it at once.

OPTIONS
    Each option is a directive of a scenario file (SCENARIO FILES); "--NAME=VALUE" works as
    well as "--NAME VALUE". Quote the value of --route and --route-server as one argument.

    --route-server [ADDRESS:PORT] [OPTION...]
        A route server (default 127.0.0.1:26880, hexadecimal 6900; port 0 is an ephemeral
        port). Repeatable.
    --route NAME [OPTION...]
        A gateway route called NAME (1 to 64 characters without blanks, quotes, "=", ":"
        or ","). Repeatable; routes are listed in this order. The routes and the --entry
        lines must fit in one answer, since the probe reads one: the data part of a packet,
        5320 bytes with the status line (about 250 routes with short names). Otherwise the
        program says how many fit and exits with status 1.
    --entry TEXT
        A literal line added to the answer of every route server, after the routes.
    --scenario FILE
        Reads directives from FILE.
    --duration SECONDS
        Stops after SECONDS (may have decimals) instead of waiting for a signal.
    --help, -h
        Prints this page.
    --version
        Prints the version.

    OPTION is NAME=VALUE; VALUE may be quoted with ' or " to hold blanks (text='Access
    denied'); fault= takes a comma-separated list of faults. A parameter that no given
    fault reads is an error. Times are milliseconds of the system tick.

ROUTE OPTIONS
    address=A        listening address in 127.0.0.0/8 (default 127.0.0.1)
    port=N           listening port, decimal (default 0, ephemeral)
    dc=TEXT          DataCenterId in the replies' headers, up to 4 characters (default DC01)
    quiet=MS         with some detail records missing, report this long after the last one
                     arrived (default 1000)
    period=MS        heartbeat period while a public key is pending (default 2000)
    key-length=N     characters of the public key, 0 to 5228 (default 128)
    key-delay=MS     answer each public-key request this long after it (default 0)

ROUTE FAULTS (fault=...)
    refused             nothing listens: a port is reserved and closed, connects are refused
    silent              accept and read everything, never write
    login-refused       answer logins with status=N (default 1) and text=T (default
                        "Access denied"); mode=P or mode=K limits it to one login mode
    late-login          answer logins delay=MS late (default 5100); mode= as above
    no-login            never answer logins; mode= as above
    no-heartbeat        no heartbeat after the detail records
    heartbeat-text      the heartbeat after the details lists text=T verbatim (default
                        "1-25"; e.g. "3,7-9", "" or "1-2147483647")
    key-heartbeat-text  heartbeats during the key wait carry text=T (default "1"; any text
                        holding a "1" makes the probe ask again); the key still goes out
                        at once unless key-never or key-delay= holds it back
    no-key-heartbeats   no heartbeats during the key wait
    key-never           never answer a public-key request
    key-short           a public key of 99 characters
    key-100             a public key of exactly 100 characters
    key-error           the API buffer has error indicator "Y" and a section 999 text=T
    key-status          the public-key reply carries status=N (default 1) and text=T
    key-largest         the key padded with further sections to a 5320-byte data part
    close, reset        close the connection (reset: SO_LINGER 0, the probe sees a reset)
                        at=connect (default), at=login (after the login reply; mode= limits
                        it), at=details (instead of the heartbeat), at=key-wait (after the
                        first key-wait heartbeat, without the key) or at=key (after the key)

    A healthy route answers a login with status 0, a CircuitNumber unique per login and its
    DataCenterId; after the 25 detail records (CircuitSequence 1 to 25) it sends a heartbeat
    that lists the record numbers that did not arrive, as ranges ("3,7-9"), so a healthy
    route lists nothing. On a public-key request it sends heartbeats with text "0" every
    period and the reply "//SSSS// P KEYS" whose data part is an API buffer with the key in
    section 017. Logouts and the probe's heartbeats are taken without an answer.

ROUTE-SERVER FAULTS (fault=...)
    silent              never answer
    not-ok              a status line without "OK" (text=T, default "ERR No routes available")
    garbage             bytes that are no packet before the answer
    bytewise, split     the answer one byte per send, gap=MS apart (default 2)
    two-packets         a heartbeat packet before the answer, in the same write
    twice               the answer twice in one write
    close, reset        close or reset the connection instead of answering
    largest             text and data parts filled to their limits (the status line is padded)
    late                answer delay=MS late (default 5000)
    Other option: routes=none leaves the simulator's own routes out of the answer (the
    --entry lines remain).

SCENARIO FILES
    One directive per line: route-server, route, entry or duration, then its argument as
    on the command line. Blank lines and lines starting with "#" are skipped.

        # one healthy route, one refusing logins, one that answers late
        route-server 127.0.0.1:0
        route r1
        route r2 fault=login-refused status=17 text='Access denied'
        route r3 fault=late-login delay=5100

EXIT STATUS
    0   stopped by a stop request (@STOP@) or --duration
    1   a listening socket could not be opened (for example the port is in use)
    2   bad arguments or scenario file

EXAMPLES
    zelvan-gateway-sim
    # the route server on port 26880, which the probe takes as 6900
    zelvan-gateway-sim --route-server 127.0.0.1:26880 --route r1 \
        --route "r2 fault=login-refused status=17 text='Access denied'" \
        --route "r3 fault=late-login delay=5100"
    zelvan-gateway-sim --route-server "127.0.0.1:0 fault=bytewise,garbage" --route r1
)";
}

}  // namespace

std::string UsageText() {
  std::string page = Page();
  const std::string stop = TheSystemWords().stop_requests;
  for (auto at = page.find("@STOP@"); at != std::string::npos; at = page.find("@STOP@", at + stop.size()))
    page.replace(at, 6, stop);
  return page;
}

}  // namespace zp::sim
