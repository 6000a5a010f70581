#pragma once

namespace Kesh::StandIn {

// The page pzl-host serve answers GET / with: one file, no external resources. It
// builds a form per operation of /openapi.json, edits the host's resources under
// /_pzl/resources/ and shows /_pzl/events live. Its requests carry the token in the
// cookie the start URL set.
inline constexpr const char* kServePage = R"PAGE(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>pzl-host serve</title>
<style>
body { font: 14px system-ui, sans-serif; margin: 0; color: #1d232a; background: #f4f6f8; }
header { background: #1d3557; color: #fff; padding: 10px 18px; }
header h1 { font-size: 18px; margin: 0; }
header span { opacity: .8; font-size: 13px; }
#timeline-section { position: sticky; top: 14px; align-self: start; }
main { display: grid; grid-template-columns: minmax(380px, 1fr) minmax(380px, 1fr); gap: 14px; padding: 14px; }
section { background: #fff; border: 1px solid #d5dbe1; border-radius: 6px; padding: 10px 14px; }
h2 { font-size: 15px; margin: 4px 0 10px; }
.fn { border-top: 1px solid #e3e7eb; padding: 8px 0; }
.fn summary { cursor: pointer; }
.method { display: inline-block; min-width: 52px; font-weight: 600; font-family: monospace; }
.path { font-family: monospace; }
.desc { color: #56616c; margin-left: 6px; }
label { display: block; margin: 6px 0 2px; font-family: monospace; font-size: 12px; }
label em { color: #8a949e; font-style: normal; }
select.method { font: 600 12px monospace; margin-right: 6px; }
input, textarea { width: 100%; box-sizing: border-box; font: 12px monospace; padding: 4px; }
textarea { height: 60px; }
button { margin-top: 6px; padding: 4px 12px; }
pre { background: #f0f2f4; padding: 6px; overflow: auto; max-height: 240px; margin: 6px 0 0; font-size: 12px; }
.ok { color: #1b7f3a; } .bad { color: #b3261e; }
#timeline { font: 12px monospace; max-height: 70vh; overflow: auto; }
.entry { border-bottom: 1px solid #eef0f2; padding: 2px 0; white-space: pre-wrap; word-break: break-all; }
.kind { display: inline-block; min-width: 78px; font-weight: 600; }
.k-call { color: #1d3557; } .k-request { color: #6a1b9a; } .k-event { color: #0b6e4f; }
.k-log { color: #6d4c41; } .k-store { color: #c45100; } .k-fault { color: #b3261e; }
table { width: 100%; border-collapse: collapse; font: 12px monospace; }
td { border-bottom: 1px solid #eef0f2; padding: 2px 4px; vertical-align: top; word-break: break-all; }
</style>
</head>
<body>
<header><h1 id="title">pzl-host serve</h1><span id="subtitle"></span></header>
<main>
<div>
<section id="functions"><h2>Functions</h2></section>
<section id="store" style="margin-top:14px"><h2>Host resources</h2>
<label>path</label><input id="res-path" placeholder="/qor-gameflow/v1/session">
<label>value (JSON)</label><textarea id="res-value" placeholder='{"phase": "InProgress"}'></textarea>
<button id="res-put">Set</button> <button id="res-delete">Delete</button> <button id="res-refresh">Refresh</button>
<pre id="res-reply"></pre>
<table id="res-table"></table>
</section>
</div>
<section id="timeline-section"><h2>Timeline <span id="live" class="bad">connecting</span></h2><div id="timeline"></div></section>
</main>
<script>
"use strict";
const el = (tag, attrs, ...children) => {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) node.setAttribute(k, v);
  for (const child of children) node.append(child);
  return node;
};

function statusLine(response) {
  return response.status + " " + (response.statusText || "") + "  " + (response.headers.get("content-type") || "");
}

async function showReply(response, pre) {
  const type = response.headers.get("content-type") || "";
  let text;
  if (type.startsWith("application/json")) {
    text = await response.text();
    try { text = JSON.stringify(JSON.parse(text), null, 2); } catch (e) {}
  } else if (type.startsWith("text/")) {
    text = await response.text();
  } else {
    const bytes = new Uint8Array(await response.arrayBuffer());
    text = bytes.length + " bytes: " + Array.from(bytes.slice(0, 32), b => b.toString(16).padStart(2, "0")).join(" ");
  }
  pre.className = response.ok ? "reply ok" : "reply bad";
  pre.textContent = statusLine(response) + "\n" + text;
}

function operationForm(path, method, op, methods) {
  const form = el("div", {"class": "fn", "data-function": op.operationId});
  const details = el("details", {});
  // A function that takes any method gets one form with a choice of method.
  let chooser = null;
  if (methods) {
    chooser = el("select", {"class": "method"});
    for (const m of methods) chooser.append(el("option", {"value": m}, m.toUpperCase()));
    chooser.addEventListener("click", (e) => e.preventDefault());
  }
  const summary = el("summary", {}, chooser || el("span", {"class": "method"}, method.toUpperCase()), el("span", {"class": "path"}, path),
                     el("span", {"class": "desc"}, op.operationId + (op.summary ? " \u2014 " + op.summary : "")));
  details.append(summary);
  const inputs = [];
  for (const p of op.parameters || []) {
    const input = el("input", {"name": p.name, "data-in": p.in});
    details.append(el("label", {}, p.name + " ", el("em", {}, "(" + p.in + (p.required ? ", required" : "") + ")" + (p.description ? " " + p.description : ""))), input);
    inputs.push([p, input]);
  }
  let body = null;
  if (op.requestBody) {
    body = el("textarea", {"name": "body"});
    details.append(el("label", {}, "body ", el("em", {}, "(application/json)")), body);
  }
  const button = el("button", {"class": "call"}, "Call");
  const pre = el("pre", {"class": "reply"});
  details.append(button, pre);
  button.addEventListener("click", async () => {
    let url = path;
    const query = new URLSearchParams();
    const headers = {};
    for (const [p, input] of inputs) {
      if (input.value === "") continue;
      if (p.in === "path") url = url.replace("{" + p.name + "}", p["x-pzl-rest"] ? input.value.split("/").map(encodeURIComponent).join("/") : encodeURIComponent(input.value));
      else if (p.in === "header") headers[p.name] = input.value;
      else query.append(p.name, input.value);
    }
    const q = query.toString();
    if (q) url += "?" + q;
    const init = {method: (chooser ? chooser.value : method).toUpperCase(), headers};
    if (body && body.value !== "") { init.body = body.value; headers["Content-Type"] = "application/json"; }
    pre.textContent = "\u2026";
    try { await showReply(await fetch(url, init), pre); } catch (e) { pre.className = "reply bad"; pre.textContent = String(e); }
  });
  form.append(details);
  return form;
}

async function loadFunctions() {
  const response = await fetch("/openapi.json");
  const doc = await response.json();
  document.getElementById("title").textContent = doc.info.title + " " + doc.info.version;
  document.getElementById("subtitle").textContent = "served by pzl-host with the stand-in host";
  const section = document.getElementById("functions");
  for (const [path, item] of Object.entries(doc.paths)) {
    for (const [method, op] of Object.entries(item)) {
      if (!op || !op.operationId || method.startsWith("x-")) continue;
      if (op["x-pzl-any-method"]) {
        if (op.operationId.includes("_")) continue;
        const methods = Object.keys(item).filter((m) => !m.startsWith("x-") && item[m]["x-pzl-any-method"]);
        section.append(operationForm(path, method, op, methods));
        continue;
      }
      section.append(operationForm(path, method, op));
    }
  }
  const first = section.querySelector("details");
  if (first) first.open = true;
}

async function refreshStore() {
  const response = await fetch("/_pzl/resources");
  const table = document.getElementById("res-table");
  if (!response.ok) return;
  // Replaced in one step: two refreshes under way at once must not mix their rows.
  const rows = [];
  for (const [path, value] of Object.entries(await response.json())) {
    const row = el("tr", {}, el("td", {}, path), el("td", {}, JSON.stringify(value)));
    row.addEventListener("click", () => {
      document.getElementById("res-path").value = path;
      document.getElementById("res-value").value = JSON.stringify(value, null, 2);
    });
    rows.push(row);
  }
  table.replaceChildren(...rows);
}

async function changeResource(method) {
  const path = document.getElementById("res-path").value.trim();
  const pre = document.getElementById("res-reply");
  if (!path.startsWith("/")) { pre.className = "bad"; pre.textContent = "A path starts with /"; return; }
  const init = {method};
  if (method === "PUT") { init.body = document.getElementById("res-value").value; init.headers = {"Content-Type": "application/json"}; }
  await showReply(await fetch("/_pzl/resources" + path, init), pre);
  refreshStore();
}

function watchTimeline() {
  const timeline = document.getElementById("timeline");
  const live = document.getElementById("live");
  const source = new EventSource("/_pzl/events");
  source.onopen = () => { live.textContent = "live"; live.className = "ok"; };
  source.onerror = () => { live.textContent = "reconnecting"; live.className = "bad"; };
  source.onmessage = (message) => {
    const entry = JSON.parse(message.data);
    let text = entry.text;
    if (entry.body !== undefined) text += "  body " + JSON.stringify(entry.body);
    if (entry.data !== undefined) text += "  data " + JSON.stringify(entry.data);
    if (entry.reply !== undefined) text += "  " + JSON.stringify(entry.reply);
    const row = el("div", {"class": "entry", "data-kind": entry.kind},
                   el("span", {"class": "kind k-" + entry.kind}, entry.kind), (entry.ms / 1000).toFixed(3) + "s  " + text);
    const atEnd = timeline.scrollTop + timeline.clientHeight >= timeline.scrollHeight - 4;
    timeline.append(row);
    while (timeline.childElementCount > 2000) timeline.firstChild.remove();
    if (atEnd) timeline.scrollTop = timeline.scrollHeight;
    if (entry.kind === "store") refreshStore();
  };
}

document.getElementById("res-put").addEventListener("click", () => changeResource("PUT"));
document.getElementById("res-delete").addEventListener("click", () => changeResource("DELETE"));
document.getElementById("res-refresh").addEventListener("click", refreshStore);
loadFunctions();
refreshStore();
watchTimeline();
</script>
</body>
</html>
)PAGE";

}  // namespace Kesh::StandIn
