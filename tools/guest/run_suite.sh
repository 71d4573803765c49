# Guest job of a test boot: the end-to-end suite against the shipped 32-bit
# exes in the shared folder, on a 64-bit and a 32-bit Windows at once, each
# in network and PID namespaces of its own (both test servers use port 8080,
# and each stream must see only its own Windows programs running):
# - 64-bit Windows (WoW64): every case but those of the hostile
#   surroundings' planted files and three of its taken lock names, then the
#   full update cycle of the hardened build (HTTPS, a pinned publisher and
#   the event log) and its record;
# - 32-bit Windows: the cases that depend on the kind of Windows, and those
#   planted files, taken names, held files and broken installers (here only
#   to even out the two streams' time), then the hardened build's signed,
#   unsigned, other publisher's and expired installers, a good certificate,
#   the redirects out of TLS, and the record of an up-to-date run.
# Results and logs are left in the shared folder for the host.
[ -n "${BASH_VERSION:-}" ] || exec bash "$0" "$@"  # the guest starts jobs with sh
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
share=/mnt/host
cd $share/src

export DISPLAY=:99  # the product's real installer needs one (Xvfb, below)
export E2E_INSTALLER=$share/exe/bw_test_installer.exe
export E2E_RUNTIME_CHECK=$share/exe/bw_runtime_check.exe
export E2E_FILE_HOLDER=$share/exe/bw_file_holder.exe
export E2E_TRUST_ROOT=$share/exe/bw_trust_root.exe
export E2E_SIGNED_DIR=$share/signed
export E2E_INNO_DIR=/opt/inno
export E2E_SERVER_NAME=updates.brenwick.example  # the shipped default
# A stream's sessions share its Windows, which ends with the stream's PID
# namespace.
export E2E_KEEP_RUNNING=1
win64="i686 exe, 64-bit Windows (Wine WoW64 prefix)"
win32="i686 exe, 32-bit Windows (Wine win32 prefix)"
publisher="Brenwick Software Ltd"
# Of the decisions, two that start an installer, each read from the
# registry view of its Windows: the rest is the same code as on the host.
guest_decisions="(not decision or newer-published or absent-newer)"
# Cases that run on the 32-bit Windows only, to even out the two streams,
# and cases left to the host, whose code paths others here take too (a name
# taken without an owner or by an event: as by another owner or denied; no
# event-log calls in the default exe: its imports prove it).
on_32_only="planted or deny-all or other-owner or held_open or broken_installer"
host_only="no-owner or an-event or writes_no_record"

# suite NAME PLATFORM PREFIX LOADER AGENT PUBLISHER [PYTEST ARGS...]
suite() {
  local name=$1 platform=$2 prefix=$3 loader=$4 agent=$5 publisher=$6
  shift 6
  E2E_PLATFORM=$platform E2E_PREFIX_READY=$prefix E2E_WINE=$loader E2E_AGENT=$agent \
  E2E_PUBLISHER=$publisher E2E_WORK=/root/e2e-$name \
    python3 -m pytest -p no:cacheprovider -v -ra --junitxml=$share/results-$name.xml "$@"
}
stream_64() {
  suite win64 "$win64" /opt/wine-prefix /usr/lib/wine/wine64 $share/exe/bw_agent.exe "" \
    -k "not ($on_32_only) and not ($host_only) and $guest_decisions" \
    tests/e2e || rc=1
  E2E_TLS_PORT=8443 E2E_EVENT_LOG=true suite win64-hardened "i686 hardened exe, 64-bit Windows (Wine WoW64 prefix)" \
    /opt/wine-prefix /usr/lib/wine/wine64 $share/exe/hardened/bw_agent.exe "$publisher" \
    "tests/e2e/test_tls.py::test_only_a_valid_certificate_for_the_host[good]" \
    "tests/e2e/test_event_log.py::test_each_start_writes_one_record[update-started]" || rc=1
  return ${rc:-0}
}
stream_32() {
  suite win32 "$win32" /opt/wine-prefix32 /usr/lib/wine/wine $share/exe/bw_agent.exe "" \
    -k "(windows_kind or $on_32_only) and not ($host_only) and $guest_decisions" \
    tests/e2e || rc=1
  E2E_TLS_PORT=8443 E2E_EVENT_LOG=true suite win32-hardened "i686 hardened exe, 32-bit Windows (Wine win32 prefix)" \
    /opt/wine-prefix32 /usr/lib/wine/wine $share/exe/hardened/bw_agent.exe "$publisher" \
    tests/e2e/test_publisher.py::test_an_installer_signed_by_the_publisher_is_started \
    -k "not untrusted-root and not self-signed and not changed-after-signing" \
    "tests/e2e/test_publisher.py::test_any_other_installer_is_deleted_unstarted" \
    "tests/e2e/test_tls.py::test_only_a_valid_certificate_for_the_host[good]" \
    "tests/e2e/test_tls.py::test_only_a_valid_certificate_for_the_host[to-plain-http]" \
    "tests/e2e/test_tls.py::test_only_a_valid_certificate_for_the_host[through-plain-http-back-to-tls]" \
    "tests/e2e/test_event_log.py::test_each_start_writes_one_record[up-to-date]" || rc=1
  return ${rc:-0}
}

case ${1:-} in
  stream-64) stream_64; exit ;;
  stream-32) stream_32; exit ;;
esac

Xvfb :99 -nolisten tcp > /tmp/xvfb.log 2>&1 &
started=$(date +%s)
for stream in 64 32; do
  unshare --net --pid --fork --mount-proc \
    bash -c 'ip link set lo up && exec bash "$0" "$1"' "$0" stream-$stream \
    > $share/stream-$stream.log 2>&1 &
  eval "pid_$stream=\$!"
done
wait $pid_64; rc_64=$?
wait $pid_32; rc_32=$?
cat $share/stream-64.log $share/stream-32.log
echo "guest suite: $(( $(date +%s) - started )) s (64-bit Windows: exit $rc_64, 32-bit Windows: exit $rc_32)"
[ $rc_64 = 0 ] && [ $rc_32 = 0 ]
