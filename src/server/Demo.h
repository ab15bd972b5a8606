#pragma once
// Demo data that reaches every path of the workflows (docs/server.md lists it).

class TStore;

// Fills an empty store; does nothing to a store that already holds quotes.
void InitDemo(TStore& store);
