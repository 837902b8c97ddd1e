// Tandrel plug-in for OpenCode.
//
// Reports each session's token usage and cost to the Tandrel app: every "session.updated" event
// becomes one usage record appended to the bridge file that the app tails. It records usage
// only. Nothing here may fail OpenCode: every error is appended to "hook-errors.log" beside the
// bridge file instead.

import fs from "fs";
import os from "os";
import path from "path";

// A path from the environment made absolute against the working folder, without a trailing "/".
function absolutePath(value) {
  let result = value.startsWith("/") ? value : process.cwd() + "/" + value;
  while (result.length > 1 && result.endsWith("/")) {
    result = result.slice(0, -1);
  }
  return result;
}

// TANDREL_EVENT_FILE when set (a leading "~" stands for the home folder), else
// $XDG_DATA_HOME/Tandrel/events.jsonl, with ~/.local/share when XDG_DATA_HOME is unset, blank or
// not absolute: the rule of the app and of the installed scripts.
function bridgeFile() {
  let given = (process.env.TANDREL_EVENT_FILE || "").trim();
  if (given) {
    if (given === "~" || given.startsWith("~/")) {
      given = os.homedir() + given.slice(1);
    }
    return absolutePath(given);
  }
  let dataHome = (process.env.XDG_DATA_HOME || "").trim();
  if (!dataHome.startsWith("/")) {
    dataHome = os.homedir() + "/.local/share";
  }
  return absolutePath(dataHome) + "/Tandrel/events.jsonl";
}

// Appends one line with a single write on an O_APPEND descriptor (new files 0600), so that it
// never interleaves with the lines of other writers.
function appendLine(file, line) {
  fs.mkdirSync(path.dirname(file), { recursive: true, mode: 0o700 });
  const bytes = Buffer.from(line, "utf8");
  const fd = fs.openSync(file, "a", 0o600);
  try {
    const written = fs.writeSync(fd, bytes);
    if (written !== bytes.length) {
      throw new Error(`wrote ${written} of ${bytes.length} bytes to ${file}`);
    }
  } finally {
    fs.closeSync(fd);
  }
}

function logError(error) {
  try {
    const text = String((error && error.message) || error).split(/\s+/).join(" ");
    appendLine(path.join(path.dirname(bridgeFile()), "hook-errors.log"),
      `${new Date().toISOString()} ${text}\n`);
  } catch {
    // Nowhere left to report it.
  }
}

const isNumber = (value) => typeof value === "number" && Number.isFinite(value);

function lastComponent(folder) {
  const trimmed = String(folder).replace(/\/+$/, "");
  return trimmed.slice(trimmed.lastIndexOf("/") + 1) || "Workspace";
}

// The usage object of a session, or undefined when it has neither token counts nor a cost.
function usageOf(info) {
  const tokens = info.tokens && typeof info.tokens === "object" ? info.tokens : undefined;
  if (!tokens && !isNumber(info.cost)) {
    return undefined;
  }
  const updated = info.time && info.time.updated;
  const usage = {
    data_source: "opencode-plugin",
    tool_id: "opencode-cli",
    observed_at: new Date(isNumber(updated) ? updated : Date.now()).toISOString(),
  };
  if (tokens) {
    const cache = tokens.cache && typeof tokens.cache === "object" ? tokens.cache : {};
    const counts = {
      input_tokens: tokens.input,
      output_tokens: tokens.output,
      reasoning_tokens: tokens.reasoning,
      cache_read_tokens: cache.read,
      cache_write_tokens: cache.write,
    };
    let sum = 0;
    for (const [key, value] of Object.entries(counts)) {
      if (isNumber(value)) {
        usage[key] = value;
        sum += value;
      }
    }
    usage.total_tokens = isNumber(tokens.total) ? tokens.total : sum;
  }
  if (isNumber(info.cost)) {
    usage.cost_amount = info.cost;
    usage.cost_currency = "USD";
  }
  const model = info.model && typeof info.model === "object" ? info.model : {};
  if (model.id) {
    usage.model = model.id;
  }
  if (model.providerID) {
    usage.provider = model.providerID;
  }
  return usage;
}

// The bridge record of one event, or undefined for events that are not a session's usage.
function recordOf(event, directory) {
  if (!event || event.type !== "session.updated") {
    return undefined;
  }
  const properties = event.properties && typeof event.properties === "object" ? event.properties : {};
  const info = properties.info && typeof properties.info === "object" ? properties.info : {};
  const usage = usageOf(info);
  if (!usage) {
    return undefined;
  }
  const cwd = info.directory || directory || process.cwd();
  const updated = info.time && info.time.updated;
  return {
    event_id: `opencode-${properties.sessionID || info.id || "session"}-${updated ?? Date.now()}`,
    source: "opencode-cli",
    source_type: "cli_agent",
    project: lastComponent(cwd),
    cwd,
    event_type: "task_updated",
    severity: "info",
    title: "OpenCode usage updated",
    message: "OpenCode session usage snapshot.",
    status: "usage",
    notify_policy: "usage_only",
    timestamp: usage.observed_at,
    session_id: properties.sessionID || info.id,
    raw_event_name: "session.updated",
    usage,
  };
}

// OpenCode calls every function the module exports as a plug-in: this is the only export.
export const TandrelPlugin = async ({ directory } = {}) => ({
  event: async ({ event } = {}) => {
    try {
      const record = recordOf(event, directory);
      if (record) {
        appendLine(bridgeFile(), JSON.stringify(record) + "\n");
      }
    } catch (error) {
      logError(error);
    }
  },
});
