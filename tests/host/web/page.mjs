// Drives headless Chromium against pzl-host serve: logs in through the start URL, calls
// GetItem and Teapot through the page's forms, sets a resource through the editor and
// checks the replies and the live timeline; keeps a screenshot of the page.
//   node page.mjs PZL_HOST SAMPLE_PLUGIN SCREENSHOT.png
import { spawn } from "node:child_process";
import { existsSync, mkdirSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname } from "node:path";

const [pzlHost, plugin, screenshot] = process.argv.slice(2);
const require = createRequire(import.meta.url);
const browserPath = process.env.PZL_CHROMIUM || "/usr/bin/chromium";
let chromium;
try {
  ({ chromium } = require("playwright-core"));
} catch (error) {
  if (error.code !== "MODULE_NOT_FOUND") throw error;
  console.log("SKIP: playwright-core is not installed (scripts/setup-deps runs npm ci in tests/host/web)");
  process.exit(77);
}
if (!existsSync(browserPath)) {
  console.log(`SKIP: no browser at ${browserPath} (scripts/setup-deps installs chromium)`);
  process.exit(77);
}

let failed = 0;
const check = (ok, what) => {
  console.log(`${ok ? "PASS" : "FAIL"} ${what}`);
  if (!ok) failed++;
};

const server = spawn(pzlHost, ["serve", plugin], { stdio: ["ignore", "pipe", "inherit"] });
const startUrl = await new Promise((resolve, reject) => {
  let text = "";
  const timer = setTimeout(() => reject(new Error("pzl-host serve printed no start URL:\n" + text)), 20000);
  server.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/open (http:\/\/127\.0\.0\.1:\d+\/start\?token=\S+)/);
    if (found) { clearTimeout(timer); resolve(found[1]); }
  });
  server.on("exit", (code) => reject(new Error(`pzl-host serve ended (${code}):\n${text}`)));
});
const base = new URL(startUrl).origin;

let browser;
try {
  // Without the cookie or a token nothing is served.
  check((await fetch(base + "/")).status === 401, "the page needs the token");

  browser = await chromium.launch({
    executablePath: browserPath,
    headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
           "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage"],
  });
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.setDefaultTimeout(15000);
  const errors = [];
  page.on("pageerror", (error) => errors.push(String(error)));
  await page.goto(startUrl);
  check(page.url() === base + "/", "the start URL leads to the page");
  check(await page.evaluate(() => document.cookie) === "", "the token cookie is out of the page's scripts' reach");

  const item = page.locator('[data-function="GetItem"]');
  await item.locator("summary").waitFor();
  if (!(await item.locator("details").getAttribute("open") !== null)) await item.locator("summary").click();
  await item.locator('input[name="id"]').fill("42");
  await item.locator('input[name="verbose"]').fill("true");
  await item.locator("button.call").click();
  const reply = item.locator("pre.reply");
  await page.waitForFunction((node) => node.textContent.includes("item-42"), await reply.elementHandle());
  const replyText = await reply.textContent();
  check(replyText.startsWith("200") && replyText.includes('"verbose": true'), "GetItem's reply: " + replyText.split("\n")[0]);

  const teapot = page.locator('[data-function="Teapot"]');
  await teapot.locator("summary").click();
  await teapot.locator("button.call").click();
  await page.waitForFunction((node) => node.textContent.startsWith("418"), await teapot.locator("pre.reply").elementHandle());
  check((await teapot.locator("pre.reply").textContent()).includes('"message": "The sample is a teapot."'), "Teapot's error reply");

  await page.fill("#res-path", "/demo/v1/state");
  await page.fill("#res-value", '{"phase": "InProgress"}');
  await page.click("#res-put");
  await page.locator("#res-table td", { hasText: "/demo/v1/state" }).waitFor();
  check(true, "the resource editor stores a value");

  const timeline = page.locator("#timeline");
  await timeline.locator(".entry", { hasText: "GetItem GET /sample/v1/items/42?verbose=true -> 200" }).waitFor();
  await timeline.locator(".entry", { hasText: "Teapot GET /sample/v1/teapot -> 418" }).waitFor();
  await timeline.locator('.entry[data-kind="store"]', { hasText: "PUT /demo/v1/state" }).waitFor();
  check(true, "the timeline shows both calls and the store change");
  check((await page.locator("#live").textContent()) === "live", "the timeline stream is live");
  check(errors.length === 0, "no script errors" + (errors.length ? ": " + errors.join("; ") : ""));

  const echo = page.locator('[data-function="Echo"]');
  check(await page.locator('[data-function="Echo_post"]').count() === 0, "a function of any method has one form");
  await echo.locator("summary").click();
  await echo.locator("select.method").selectOption("post");
  await echo.locator('input[name="value"]').fill("[1,2]");
  await echo.locator("button.call").click();
  await timeline.locator(".entry", { hasText: "Echo POST /Echo?value=%5B1%2C2%5D -> 200" }).waitFor();
  check(true, "Echo called with the chosen method");

  mkdirSync(dirname(screenshot), { recursive: true });
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: screenshot, fullPage: false });
  console.log(`screenshot: ${screenshot}`);
} catch (error) {
  failed++;
  console.log("FAIL " + (error.stack || error));
} finally {
  if (browser) await browser.close();
  server.kill("SIGTERM");
}
const code = await new Promise((resolve) => server.on("exit", (c, signal) => resolve(signal ?? c)));
check(code === 0, "pzl-host serve stops cleanly on SIGTERM");
console.log(`${failed === 0 ? 1 : 0} passed, ${failed === 0 ? 0 : 1} failed`);
process.exit(failed === 0 ? 0 : 1);
