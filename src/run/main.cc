// The agent's console entry point. Arguments and environment are ignored.
#include "run/update_run.h"

int main() { return AgentMain(); }
