"""The agent's trimmed C++ runtime still catches exceptions."""

from conftest import RUNTIME_CHECK


def test_exceptions_are_caught_through_the_replaced_runtime_hooks(prefix):
    run = prefix.run([RUNTIME_CHECK])
    assert (run.returncode, run.stdout, run.stderr) == (0, "", "")
