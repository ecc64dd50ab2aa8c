# Sourced by the scripts that run the real core under Wine, after checks.sh
# and service_prefix.sh (with `prefix` set): a local web server, requests
# through the core's SOCKS inbound, the core's processes and ports as Linux
# sees them (Wine's sockets are the host's, on 127.0.0.1 only).

# A TCP port on 127.0.0.1 that nothing listens on now.
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Whether something accepts a connection on 127.0.0.1:PORT.
port_accepts() {  # PORT
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}
# Waits up to SECONDS for the port to accept (or, with "closed", to refuse).
wait_for_port() {  # PORT SECONDS [closed]
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    if port_accepts "$1"; then [ "${3:-}" != closed ] && return 0
    else [ "${3:-}" = closed ] && return 0; fi
    sleep 0.2
  done
  return 1
}

# Serves DIR on 127.0.0.1:PORT for at most SECONDS, so that it never outlives
# the script by long; stop_web_server ends it sooner.
start_web_server() {  # DIR PORT SECONDS
  timeout "$3" python3 -m http.server "$2" --bind 127.0.0.1 --directory "$1" \
    </dev/null >/dev/null 2>&1 &
  web_server=$!
  wait_for_port "$2" 10
}
stop_web_server() {
  [ -n "${web_server:-}" ] && kill "$web_server" 2>/dev/null
  wait "${web_server:-}" 2>/dev/null
  web_server=
}

# The body of URL fetched through the SOCKS inbound on 127.0.0.1:PORT, the
# name resolved by the core; while the core is still starting (the port
# refuses), tried again for up to 15 s.
socks_get() {  # PORT URL
  curl -s --max-time 10 --retry 15 --retry-connrefused --retry-delay 1 --retry-max-time 15 \
    --socks5-hostname "127.0.0.1:$1" "$2"
}

# A client configuration as a user interface writes it at its plainest: a
# SOCKS inbound on 127.0.0.1:PORT, a freedom outbound, and the log settings
# given as a JSON object's members.
plain_core_config() {  # PORT LOG_MEMBERS
  printf '{\r\n  "log": {%s},\r\n' "$2"
  printf '  "inbounds": [{"listen": "127.0.0.1", "port": %s, "protocol": "socks",\r\n' "$1"
  printf '                "settings": {"auth": "noauth", "udp": false}}],\r\n'
  printf '  "outbounds": [{"protocol": "freedom", "settings": {}}]\r\n}\r\n'
}

# The Linux ids of the prefix's processes whose command line holds TEXT.
prefix_processes() {  # TEXT
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    tr '\0' '\n' 2>/dev/null <"$environ" | grep -qx "WINEPREFIX=$prefix" || continue
    tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qiF -- "$1" && echo "$pid"
  done
}
# Waits up to SECONDS until no process of the prefix holds TEXT.
wait_for_no_process() {  # TEXT SECONDS
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    [ -z "$(prefix_processes "$1")" ] && return 0
    sleep 0.2
  done
  [ -z "$(prefix_processes "$1")" ]
}

# Runs the core directly, outside the service, as a person would: in the
# Windows folder DIR (its working directory), with the configuration CONFIG,
# until the command CHECK succeeds, the core ends, or SECONDS have passed;
# then ends it and runs CHECK once more for the status. The core's output
# goes to OUTPUT.
run_core_until() {  # CORE_WINDOWS_PATH DIR_UNIX CONFIG_WINDOWS_PATH SECONDS OUTPUT CHECK...
  local core_path=$1 dir=$2 config=$3 seconds=$4 output=$5 pid core deadline
  shift 5
  (cd "$dir" && exec wine "$core_path" run -config "$config" </dev/null >"$output" 2>&1) &
  pid=$!
  deadline=$((SECONDS + seconds))
  while [ $SECONDS -lt $deadline ]; do
    "$@" && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  "$@"
  local found=$?
  for core in $(prefix_processes "$config"); do kill -9 "$core" 2>/dev/null; done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return $found
}
