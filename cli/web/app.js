// The reader console's page: talks to its own server only (the JSON API
// and the event stream of volneda serve; docs/console.md).
"use strict";

const $ = (id) => document.getElementById(id);
const state = {
  reader: "",
  readers: [],
  config: "",
  history: [],
  selected: "",
  detail: null,
  watch: { running: false, interval: 1000 },
  attributes: [],
};
const HISTORY_MS = 5 * 60 * 1000;
const LOG_MAX = 500;

// Names of the attributes shown, kept by the browser between visits.
function attributeNames() {
  let names = [];
  try { names = JSON.parse(localStorage.getItem("volneda.attributes") || "[]"); } catch (e) { names = []; }
  if (!Array.isArray(names)) names = [];
  return ["RFID_SWTT_FILE_NAME", ...names.filter((n) => typeof n === "string" && n !== "RFID_SWTT_FILE_NAME")];
}
function rememberAttribute(name) {
  const names = attributeNames().slice(1);
  if (name !== "RFID_SWTT_FILE_NAME" && !names.includes(name)) {
    names.push(name);
    try { localStorage.setItem("volneda.attributes", JSON.stringify(names)); } catch (e) { /* private mode */ }
  }
}

function el(tag, props, ...children) {
  const e = document.createElement(tag);
  if (props) {
    for (const [k, v] of Object.entries(props)) {
      if (k === "class") e.className = v;
      else if (k === "text") e.textContent = v;
      else if (k.startsWith("on")) e.addEventListener(k.slice(2), v);
      else e.setAttribute(k, v);
    }
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(c);
  return e;
}
function svg(tag, attrs, text) {
  const e = document.createElementNS("http://www.w3.org/2000/svg", tag);
  for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
  if (text !== undefined) e.textContent = text;
  return e;
}
// "…T12:00:00.123" in local time as the server gives it; presence events
// come in UTC ("…Z") and are shown in local time too.
function clock(iso) {
  if (!iso) return "";
  return iso.endsWith("Z") ? new Date(iso).toTimeString().slice(0, 8) : iso.slice(11, 19);
}
function codeText(r) { return r.code + " (" + r.meaning + ")"; }

// ---- talking to the server

function banner(text) {
  const box = $("banners");
  const b = el("div", { class: "banner", role: "alert" }, el("div", { class: "text", text }),
    el("button", { type: "button", title: "dismiss", text: "\u00d7", onclick: () => b.remove() }));
  box.prepend(b);
  while (box.children.length > 4) box.lastChild.remove();
}

async function api(method, path, body) {
  let res;
  try {
    res = await fetch(path, {
      method,
      headers: body === undefined ? {} : { "Content-Type": "application/json" },
      body: body === undefined ? undefined : JSON.stringify(body),
      credentials: "same-origin",
    });
  } catch (e) {
    banner("The console's server does not answer (" + e.message + ").");
    throw e;
  }
  let reply = {};
  try { reply = await res.json(); } catch (e) { reply = { error: "an answer that is not JSON" }; }
  if (!res.ok) {
    banner(method + " " + path + ": HTTP " + res.status + ": " + (reply.error || res.statusText));
    throw new Error(reply.error || String(res.status));
  }
  return reply;
}

// A library failure reaches the page with its code and meaning.
function check(what, reply) {
  if (reply && typeof reply.code === "number" && reply.code !== 0) banner(what + ": " + codeText(reply));
  return reply;
}

// ---- readers and attributes

function renderReaders() {
  const list = $("readers");
  list.replaceChildren();
  for (const name of state.readers) {
    const open = name === state.reader;
    list.append(el("li", { class: open ? "open" : "", "data-reader": name },
      el("span", { class: "name", text: name }),
      open ? el("button", { type: "button", text: "Close", onclick: closeReader })
           : el("button", { type: "button", class: "primary", text: "Open", onclick: () => openReader(name) })));
  }
  if (!state.readers.length) list.append(el("li", { class: "muted", text: "The reader list names no reader." }));
  $("config").textContent = state.config ? "list: " + state.config : "";
  $("current-reader").textContent = state.reader || "none open";
}

async function loadReaders() {
  const r = await api("GET", "/api/readers");
  check("Readers of " + r.config, r);
  state.readers = r.readers || [];
  state.config = r.config;
  renderReaders();
}

function renderAttributes() {
  const body = $("attributes").tBodies[0];
  body.replaceChildren();
  for (const a of state.attributes) {
    body.append(el("tr", { "data-name": a.name }, el("td", { text: a.name }), el("td", { text: a.value }),
      el("td", { class: a.code ? "fail" : "", text: codeText(a) })));
  }
}
function putAttribute(a) {
  const i = state.attributes.findIndex((x) => x.name === a.name);
  if (i >= 0) state.attributes[i] = a; else state.attributes.push(a);
  renderAttributes();
}

// The server keeps what was got or set since the open; the other names
// this browser remembers are asked for once the reader is open.
async function loadAttributes(known) {
  state.attributes = known || [];
  renderAttributes();
  for (const name of attributeNames()) {
    if (state.attributes.some((a) => a.name === name)) continue;
    putAttribute(check("Attribute " + name, await api("GET", "/api/attribute?name=" + encodeURIComponent(name))));
  }
}

async function openReader(name) {
  const r = await api("POST", "/api/open", { reader: name });
  if (r.code !== 0) {
    let text = "Cannot open reader " + name + ": " + codeText(r) + "." + (r.open ? " " + r.open + " stays open." : "");
    if (r.readers) {
      state.readers = r.readers.readers || [];
      state.config = r.readers.config;
      text += r.readers.code === 0 ? " The reader list " + r.readers.config + " holds: " + state.readers.join(", ") + "."
                                   : " The reader list " + r.readers.config + " cannot be read: " + codeText(r.readers) + ".";
    }
    banner(text);
    state.reader = r.open || "";
    renderReaders();
    return;
  }
  state.reader = name;
  shownReader = name;
  renderReaders();
  await loadAttributes(r.attributes);
}

async function closeReader() {
  check("Close", await api("POST", "/api/close", {}));
}

// ---- the live table, the chart, the changes

function renderTable(table) {
  const body = $("tags").tBodies[0];
  body.replaceChildren();
  const marks = { arrived: "+", left: "\u2212" };
  const names = { arrived: "arrived", present: "in field", left: "left", gone: "gone" };
  for (const t of table.tags) {
    const row = el("tr", { class: t.state + (t.id === state.selected ? " selected" : ""), "data-id": t.id, onclick: () => showTag(t.id) },
      el("td", { class: "mark", text: marks[t.state] || "" }),
      el("td", { class: "mono", text: t.id }),
      el("td", { class: "mono", text: t.swtt }),
      el("td", { class: "mono", text: t.template || "\u2014" }),
      el("td", { class: "num", text: t.antenna === undefined ? "" : String(t.antenna) }),
      el("td", { text: clock(t.firstSeen) }),
      el("td", { text: clock(t.lastSeen) }),
      el("td", { class: "num", text: String(t.count) }),
      el("td", {}, el("span", { class: "state", text: names[t.state] || t.state })));
    body.append(row);
  }
  $("tags-empty").hidden = table.tags.length > 0;
  $("present-count").textContent = String(table.present);
  $("round").textContent = "round " + table.round;
}

// One bar per round of the last minutes: how many tags were in the field.
function renderChart() {
  const chart = $("chart");
  chart.replaceChildren();
  const W = 480, H = 150, L = 28, R = 8, T = 8, B = 20;
  const now = Date.now();
  const points = state.history.filter((p) => p.time >= now - HISTORY_MS);
  const top = Math.max(4, ...points.map((p) => p.count));
  const y = (c) => T + (H - T - B) * (1 - c / top);
  for (let c = 0; c <= top; c += Math.max(1, Math.ceil(top / 4))) {
    chart.append(svg("line", { class: "grid-line", x1: L, x2: W - R, y1: y(c), y2: y(c) }));
    chart.append(svg("text", { x: L - 6, y: y(c) + 3, "text-anchor": "end" }, String(c)));
  }
  chart.append(svg("line", { class: "axis", x1: L, x2: W - R, y1: H - B, y2: H - B }));
  if (!points.length) {
    $("chart-span").textContent = "no rounds yet";
    return;
  }
  // At least 20 slots, so that the first rounds do not fill the width.
  const slots = Math.max(20, points.length);
  const step = (W - L - R) / slots;
  const gap = step > 4 ? 1 : 0;
  points.forEach((p, i) => {
    chart.append(svg("rect", { class: i === points.length - 1 ? "bar last" : "bar", x: (L + i * step + gap / 2).toFixed(2),
      y: y(p.count).toFixed(2), width: Math.max(0.5, step - gap).toFixed(2), height: (y(0) - y(p.count)).toFixed(2) }, undefined));
  });
  const first = points[0], last = points[points.length - 1];
  chart.append(svg("text", { x: L, y: H - 6, "text-anchor": "start" }, "round " + first.round));
  chart.append(svg("text", { x: L + points.length * step, y: H - 6, "text-anchor": "end" }, "round " + last.round));
  const minutes = Math.ceil((last.time - first.time) / 60000);
  $("chart-span").textContent = points.length + " rounds" + (minutes > 1 ? ", " + minutes + " minutes" : "");
}

function renderChanges(changes) {
  const list = $("changes");
  list.replaceChildren();
  for (const c of changes.slice(-30).reverse()) {
    const word = { arrived: "arrived", seen: "seen   ", left: "left   " }[c.event] || c.event;
    list.append(el("li", {}, el("span", { class: c.event, text: word }),
      " " + c.id + "  round " + c.round + "  " + clock(c.time) + (c.event === "left" ? "  (seen " + c.count + ")" : "")));
  }
}

function applyWatch(w) {
  state.watch = w;
  const pause = $("pause");
  pause.disabled = !state.reader;
  pause.textContent = w.running ? "Pause" : "Resume";
  const interval = $("interval");
  if (![...interval.options].some((o) => Number(o.value) === w.interval)) {
    interval.append(el("option", { value: String(w.interval), text: w.interval + " ms" }));
  }
  interval.value = String(w.interval);
  const r = w.rules;
  if (r) {
    $("rules").textContent = "arrives " + r.arriveSeen + "/" + r.arriveWindow + ", leaves after " +
      [r.leaveRounds ? r.leaveRounds + " rounds" : "", r.leaveMs ? r.leaveMs + " ms" : ""].filter(Boolean).join(" or ");
  }
  if (typeof w.code === "number" && w.code !== 0) banner("The watch stopped: " + codeText(w));
}

let changes = [];
let shownReader = "";
function applyState(s) {
  $("versions").textContent = "tool " + s.tool + " \u00b7 library " + s.library;
  state.config = s.config;
  state.reader = s.reader;
  state.history = s.history || [];
  changes = s.changes || [];
  renderReaders();
  renderTable(s.table);
  renderChart();
  renderChanges(changes);
  applyWatch(s.watch);
  // The server keeps the attributes set since the open; those this page
  // got stay while the same reader is open.
  const kept = (s.attributes || []);
  const got = s.reader && s.reader === shownReader ? state.attributes.filter((a) => !kept.some((k) => k.name === a.name)) : [];
  shownReader = s.reader;
  state.attributes = kept.concat(got);
  renderAttributes();
}

function applyRound(r) {
  renderTable(r.table);
  state.history.push(r.point);
  const cut = Date.now() - HISTORY_MS - 5000;
  while (state.history.length && state.history[0].time < cut) state.history.shift();
  renderChart();
  if (r.events.length) {
    changes = changes.concat(r.events).slice(-50);
    renderChanges(changes);
  }
}

// ---- a tag's detail and the write form

function fieldsOf(tag) { return (tag.fields || []).filter((f) => f.type === "SWTT" && !f.warning); }

function renderDetail(d) {
  $("detail-id").textContent = d.id;
  $("detail-empty").hidden = d.present !== false && d.code === 0;
  $("detail-body").hidden = !d.tag;
  if (d.code !== 0) $("detail-empty").textContent = "Reading the tag failed: " + codeText(d);
  else if (!d.present) $("detail-empty").textContent = "The tag is not in the field now.";
  if (!d.tag) return;
  const t = d.tag;
  $("tag-facts").replaceChildren(...[["SWTT", t.swtt], ["type", t.hwTagType], ["antenna", t.antenna],
    ["template", (fieldsOf(t)[0] || {}).swttMask || "none matches"]]
    .filter(([, v]) => v !== undefined && v !== "")
    .map(([k, v]) => el("span", {}, el("b", { text: k }), String(v))));
  const body = $("fields").tBodies[0];
  body.replaceChildren();
  const fields = fieldsOf(t);
  for (const f of t.fields || []) {
    if (f.warning) {
      body.append(el("tr", { class: "warning" }, el("td", { text: String(f.entryNr) }), el("td", { colspan: "6", text: f.warning })));
      continue;
    }
    const k = fields.indexOf(f);
    body.append(el("tr", { "data-name": f.name },
      el("td", { text: f.entryNr === undefined ? "mem" : String(f.entryNr) }),
      el("td", {}, el("span", { class: "chip f" + (k % 6) }), f.name),
      el("td", { text: f.dataType }),
      el("td", { class: "num", text: String(f.dataStart) }),
      el("td", { class: "num", text: String(f.dataLen) }),
      el("td", { class: "num", text: f.fieldStatus === undefined ? "" : String(f.fieldStatus) }),
      el("td", { class: "value", text: String(f.value) })));
  }
  if (!(t.fields || []).length) body.append(el("tr", {}, el("td", { colspan: "7", class: "muted", text: "No template matches this tag: no template fields." })));
  renderHex(d.memory, fields);
  const select = $("write-field");
  const keep = select.value;
  select.replaceChildren(...fields.map((f) => el("option", { value: String(f.entryNr), text: f.name + " (#" + f.entryNr + ", " + f.dataType + ")" })));
  if (fields.some((f) => String(f.entryNr) === keep)) select.value = keep;
}

function renderHex(memory, fields) {
  const box = $("hex");
  box.replaceChildren();
  if (!memory) return;
  if (memory.code !== 0 || memory.hex === undefined) {
    box.append("Reading memory failed: " + codeText(memory));
    return;
  }
  const bytes = memory.hex.match(/../g) || [];
  const owner = (addr) => fields.findIndex((f) => addr >= f.dataStart && addr < f.dataStart + f.dataLen);
  for (let row = 0; row < bytes.length; row += 16) {
    const line = el("div", {}, el("span", { class: "off", text: (memory.start + row).toString(16).toUpperCase().padStart(4, "0") }));
    let ascii = "";
    for (let i = row; i < Math.min(row + 16, bytes.length); i++) {
      const k = owner(memory.start + i);
      line.append(el("span", { class: "b" + (k >= 0 ? " f" + (k % 6) : ""), title: k >= 0 ? fields[k].name : "", text: bytes[i] }),
        (i & 7) === 7 ? "  " : " ");
      const v = parseInt(bytes[i], 16);
      ascii += v >= 32 && v < 127 ? String.fromCharCode(v) : ".";
    }
    line.append(el("span", { class: "ascii", text: ascii }));
    box.append(line);
  }
}

async function showTag(id) {
  state.selected = id;
  for (const row of $("tags").tBodies[0].rows) row.classList.toggle("selected", row.dataset.id === id);
  $("detail-refresh").disabled = false;
  const start = Number($("mem-start").value) || 0;
  const length = Number($("mem-length").value) || 64;
  const d = await api("GET", "/api/tag?id=" + encodeURIComponent(id) + "&start=" + start + "&length=" + length);
  check("Tag " + id, d);
  state.detail = d;
  renderDetail(d);
}

function messageLine(m) {
  return el("li", {}, el("span", { class: "level level-" + m.level, text: m.levelName }),
    " " + m.sourceName + " " + codeText(m) + (m.text ? ": " + m.text : ""));
}

function showOutcome(box, reply, what) {
  box.replaceChildren(el("div", { class: "result-line " + (reply.code === 0 ? "ok" : "fail"), text: what + ": " + codeText(reply) }),
    el("ul", {}, ...(reply.messages || []).map(messageLine)));
}

async function write(event) {
  event.preventDefault();
  if (!state.selected) return;
  const kind = document.querySelector("input[name=write-kind]:checked").value;
  const value = $("write-value").value;
  const body = { id: state.selected };
  if (kind === "field") {
    body.fields = [{ entryNr: Number($("write-field").value), value }];
  } else {
    body.memory = [{ start: Number($("write-start").value), length: Number($("write-length").value), type: $("write-type").value, value }];
  }
  const r = await api("POST", "/api/write", body);
  check("Write", r);
  showOutcome($("write-outcome"), r, "Write");
  await showTag(state.selected);
}

// ---- the command box

function resultTable(doc) {
  const box = el("div", {}, el("div", { class: "muted", text: doc.document + " from " + doc.reader + ": " + doc.tagCount + " tag(s), " + doc.date + " " + doc.time + ", interface " + doc.apiVersion }));
  for (const t of doc.tags) {
    box.append(el("div", { class: "tag-head", text: t.id + "  SWTT " + t.swtt + (t.antenna !== undefined ? "  antenna " + t.antenna : "") }));
    if (!t.fields || !t.fields.length) continue;
    const table = el("table", {}, el("thead", {}, el("tr", {}, ...["#", "Name", "Type", "Start", "Length", "Status", "Value"].map((h) => el("th", { text: h })))));
    const body = el("tbody");
    for (const f of t.fields) {
      body.append(f.warning
        ? el("tr", { class: "warning" }, el("td", { text: String(f.entryNr) }), el("td", { colspan: "6", text: f.warning }))
        : el("tr", {}, ...[f.entryNr === undefined ? "mem" : f.entryNr, f.name, f.dataType, f.dataStart, f.dataLen,
            f.fieldStatus === undefined ? "" : f.fieldStatus, f.value].map((v) => el("td", { text: String(v) }))));
    }
    table.append(body);
    box.append(table);
  }
  return box;
}

async function runCommand(event) {
  event.preventDefault();
  const command = $("command").value;
  const r = await api("POST", "/api/command", { command });
  check("Command " + command, r);
  showOutcome($("command-outcome"), r, command);
  $("command-table").replaceChildren(r.result ? resultTable(r.result) : "");
  $("command-xml").hidden = !r.xml;
  $("command-xml").textContent = r.xml || "";
}

// ---- status messages

function addMessage(m) {
  const row = el("tr", { class: "origin-" + m.origin + " level-row-" + m.level },
    el("td", { text: clock(m.time) }),
    el("td", {}, el("span", { class: "level level-" + m.level, text: m.levelName })),
    el("td", { text: m.sourceName }),
    el("td", { class: "num", text: String(m.code) }),
    el("td", { text: m.meaning }),
    el("td", { text: m.text }));
  row.hidden = m.origin === "watch" && m.level === 0 && !$("log-watch").checked;
  const body = $("log").tBodies[0];
  body.prepend(row);
  while (body.rows.length > LOG_MAX) body.lastChild.remove();
}

function filterLog() {
  const show = $("log-watch").checked;
  for (const row of $("log").tBodies[0].rows) {
    if (row.classList.contains("origin-watch") && row.classList.contains("level-row-0")) row.hidden = !show;
  }
}

// ---- the event stream

// The browser connects the stream again by itself after a lost connection,
// but not after an answer that is not a stream (503 when too many pages
// are open): then the page does, waiting longer each time, up to 30 s.
const RETRY_FIRST = 1000, RETRY_MAX = 30000;
let retry = RETRY_FIRST;
function connect() {
  const live = $("live");
  const events = new EventSource("/api/events");
  events.addEventListener("open", () => { retry = RETRY_FIRST; live.dataset.state = "live"; live.textContent = "live"; });
  events.addEventListener("error", () => {
    live.dataset.state = "lost";
    live.textContent = "reconnecting";
    if (events.readyState !== EventSource.CLOSED) return;
    setTimeout(connect, retry);
    retry = Math.min(retry * 2, RETRY_MAX);
  });
  const on = (name, f) => events.addEventListener(name, (e) => f(JSON.parse(e.data)));
  on("hello", applyState);
  on("state", applyState);
  on("round", applyRound);
  on("watch", applyWatch);
  on("status", addMessage);
  on("reset", () => api("GET", "/api/state").then(applyState).catch(() => {}));
}

function start() {
  // A token given in the address is now a cookie of this page; it need not
  // stay in the address bar or the history.
  if (location.search.includes("token=")) history.replaceState(null, "", location.pathname);
  $("pause").addEventListener("click", () => api("POST", "/api/watch", { running: !state.watch.running }).then(applyWatch).catch(() => {}));
  $("interval").addEventListener("change", (e) => api("POST", "/api/watch", { interval: Number(e.target.value) }).then(applyWatch).catch(() => {}));
  $("detail-refresh").addEventListener("click", () => state.selected && showTag(state.selected).catch(() => {}));
  $("write-form").addEventListener("submit", (e) => write(e).catch(() => {}));
  $("command-form").addEventListener("submit", (e) => runCommand(e).catch(() => {}));
  $("log-watch").addEventListener("change", filterLog);
  $("log-clear").addEventListener("click", () => $("log").tBodies[0].replaceChildren());
  $("attribute-form").addEventListener("submit", (e) => {
    e.preventDefault();
    const name = $("attribute-name").value.trim();
    api("GET", "/api/attribute?name=" + encodeURIComponent(name)).then((r) => {
      check("Attribute " + name, r);
      putAttribute(r);
      if (r.code === 0) rememberAttribute(name);
    }).catch(() => {});
  });
  $("attribute-set").addEventListener("click", () => {
    const name = $("attribute-name").value.trim();
    if (!name) return;
    api("POST", "/api/attribute", { name, value: $("attribute-value").value }).then((r) => {
      check("Setting " + name, r);
      putAttribute(r);
      if (r.code === 0) rememberAttribute(name);
    }).catch(() => {});
  });
  setInterval(renderChart, 5000);
  connect();
  loadReaders().catch(() => {});
}

start();
