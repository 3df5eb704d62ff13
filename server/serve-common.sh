# Shared by the starter scripts of server/nginx, server/apache and
# server/lighttpd (sourced, not run): the checks and the stop that do not
# depend on the server program.
# The sourcing script sets $port and defines fail().

# Is something listening on 127.0.0.1:$port?
answers() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

# A number 1..65535 that nobody listens on: someone else there would keep
# the server from binding the port, and clients would talk to that other one.
check_port() {
  case $port in
    ''|*[!0-9]*) fail "the port must be a number, not '$port'" ;;
  esac
  [ "$port" -ge 1 ] && [ "$port" -le 65535 ] || fail "the port must be 1 to 65535, not $port"
  if answers; then
    local holder
    holder=$(ss -ltnpH "sport = :$port" 2>/dev/null | grep -o 'users:(("[^"]*",pid=[0-9]*' | head -n 1 |
             sed 's/users:(("//;s/",pid=/, pid /')
    fail "port $port is already in use${holder:+ (by $holder)}: stop that server or choose another port"
  fi
}

# The state of process PID: "" when gone, "Z..." for a zombie.
process_state() { ps -o stat= -p "$1" 2>/dev/null; }

# Stops the server whose pid file is $1 (TERM: at once, downloads in progress
# end) and waits up to 5 s for it to go; a zombie not yet reaped by its new
# parent counts as gone.
stop_pid_file() {
  local file=$1 pid
  [ -f "$file" ] || return 0
  pid=$(cat "$file" 2>/dev/null)
  if [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null; then
    for _ in $(seq 1 50); do
      case $(process_state "$pid") in ''|Z*) break ;; esac
      sleep 0.1
    done
  fi
  rm -f "$file"
}

# Waits up to 5 s for the pid file $1 and an answer on the port.
wait_until_serving() {
  for _ in $(seq 1 50); do [ -s "$1" ] && answers && return 0; sleep 0.1; done
  answers
}
