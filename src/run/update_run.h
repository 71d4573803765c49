// One pass of the agent: compare the published and installed versions and
// hand off to the installer when the published one is newer.
#pragma once

void UpdateRun();

// Runs the update run within the run's deadline, once at a time per session,
// catching every exception it lets out; always 0.
int AgentMain();
