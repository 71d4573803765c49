# Guest job of a test boot: the end-to-end suite against the shipped 32-bit
# exes in the shared folder, with results left there for the host.
cd /mnt/host/src
export E2E_AGENT=/mnt/host/exe/bw_agent.exe
export E2E_INSTALLER=/mnt/host/exe/bw_test_installer.exe
export E2E_RUNTIME_CHECK=/mnt/host/exe/bw_runtime_check.exe
export E2E_FILE_HOLDER=/mnt/host/exe/bw_file_holder.exe
export E2E_SERVER_NAME=updates.brenwick.example  # the shipped default
export E2E_PLATFORM="i686 exe, 32-bit Wine on x86_64 Debian guest"
export E2E_PREFIX_READY=/opt/wine-prefix
export E2E_WORK=/root/e2e
python3 -m pytest -p no:cacheprovider -v -ra --junitxml=/mnt/host/results.xml tests/e2e
