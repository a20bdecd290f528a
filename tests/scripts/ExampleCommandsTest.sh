#!/usr/bin/env bash
# The example alarm commands (data/examples): executable, valid sh, and what
# they hand to sendmail and curl for an alarm, with both replaced by
# recorders (no mail is sent, nothing leaves the machine).
# Usage: ExampleCommandsTest.sh EXAMPLES_FOLDER
set -euo pipefail
examples=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  failures=$((failures + 1))
  echo "FAIL: $*" >&2
}
contains() { # WHAT FILE TEXT
  grep -qF -- "$3" "$2" || fail "$1: no \"$3\" in $(cat "$2")"
}

for script in alarm-mail alarm-push; do
  [ -x "$examples/$script" ] || fail "$script is not executable"
  sh -n "$examples/$script" || fail "$script is not valid sh"
done

# A sensor's high alarm, as the logger gives it.
export TARNWICK_ALARM_STATE=high TARNWICK_ALARM_PREVIOUS=ok TARNWICK_ALARM_KIND=high
export TARNWICK_ALARM_SUBJECT=sensor TARNWICK_ALARM_SENSOR=3 TARNWICK_ALARM_NAME='Tiefkühler'
export TARNWICK_ALARM_ROM=9C000000B4A89828 TARNWICK_ALARM_READING=-12.5 TARNWICK_ALARM_WORD=38FF
export TARNWICK_ALARM_LIMIT=-15 TARNWICK_ALARM_TIME=2026-12-07T07:00:05+01:00
export TARNWICK_ALARM_ADAPTER=192.168.1.50
export TARNWICK_ALARM_MESSAGE='Alarm: sensor 3 (Tiefkühler, 9C000000B4A89828) high: -12.50 °C, above -15 °C'

# The mail: sendmail's arguments, then the message on its standard input.
cat >"$work/sendmail" <<'REC'
#!/bin/sh
echo "args: $*" >"$RECORD"
cat >>"$RECORD"
REC
chmod +x "$work/sendmail"
RECORD=$work/mail ALARM_SENDMAIL=$work/sendmail ALARM_MAIL_TO=ops@example.org \
  sh "$examples/alarm-mail" || fail "alarm-mail ended with status $?"
contains mail "$work/mail" "args: -t -oi"
contains mail "$work/mail" "To: ops@example.org"
contains mail "$work/mail" "Content-Type: text/plain; charset=UTF-8"
contains mail "$work/mail" "$TARNWICK_ALARM_MESSAGE"
contains mail "$work/mail" "What:     sensor 3 (Tiefkühler) ROM 9C000000B4A89828"
contains mail "$work/mail" "Reading:  -12.5 (word 38FF)"
contains mail "$work/mail" "When:     2026-12-07T07:00:05+01:00"
subject=$(sed -n 's/^Subject: =?UTF-8?B?\(.*\)?=$/\1/p' "$work/mail" | base64 -d)
[ "$subject" = "Tarnwick: $TARNWICK_ALARM_MESSAGE" ] || fail "mail subject: \"$subject\""

# The push: curl's arguments, one a line.
mkdir "$work/bin"
cat >"$work/bin/curl" <<'REC'
#!/bin/sh
printf '%s\n' "$@" >"$RECORD"
REC
chmod +x "$work/bin/curl"
RECORD=$work/push PATH=$work/bin:$PATH ALARM_PUSH_URL=https://push.example/topic \
  sh "$examples/alarm-push" || fail "alarm-push ended with status $?"
contains push "$work/push" "Priority: high"
contains push "$work/push" "Title: Tarnwick high alarm"
contains push "$work/push" "$TARNWICK_ALARM_MESSAGE"
# Its end: told as such, at the default priority.
RECORD=$work/push-ok PATH=$work/bin:$PATH ALARM_PUSH_URL=https://push.example/topic \
  TARNWICK_ALARM_STATE=ok sh "$examples/alarm-push" || fail "alarm-push ended with status $?"
contains push "$work/push-ok" "Title: Tarnwick high alarm cleared"
contains push "$work/push-ok" "Priority: default"
[ "$(tail -n 1 "$work/push")" = https://push.example/topic ] || fail "push: not to its URL"
# Without an address it fails, which the logger tells, instead of pushing
# to nowhere.
if RECORD=$work/nowhere PATH=$work/bin:$PATH sh "$examples/alarm-push" 2>/dev/null; then
  fail "alarm-push without ALARM_PUSH_URL succeeded"
fi
[ ! -e "$work/nowhere" ] || fail "alarm-push without ALARM_PUSH_URL ran curl"

[ "$failures" = 0 ] || exit 1
echo "example alarm commands: all checks passed"
