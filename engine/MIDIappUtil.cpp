// The performance engine.
