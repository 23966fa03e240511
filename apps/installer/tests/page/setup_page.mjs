// Loads the setup page into Chromium the way the program loads it into its web view: the
// page's own bytes as HTML content, with window.ipc.postMessage recorded and the program's
// start-up script run at the start of the document.
import { chromium } from 'playwright-core';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const repoRoot = fileURLToPath(new URL('../../../../', import.meta.url));
const pageBytes = readFileSync(join(repoRoot, 'apps/installer/page/index.html'));

export const WINDOW_SIZE = { width: 520, height: 390 };
// The web view hands every document the page's text with a URL of its own; any URL that
// never reaches a network will do here.
const PAGE_URL = 'https://setup-page.invalid/';

export async function launchBrowser() {
  const userDataDir = mkdtempSync(join(tmpdir(), 'zarn-page-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
    viewport: WINDOW_SIZE,
    deviceScaleFactor: 1,
  });
  return {
    context,
    async close() {
      await context.close();
      rmSync(userDataDir, { recursive: true, force: true });
    },
  };
}

// The scripts that the program hands its page come from the program's own builders, through a
// small printer of the Linux build (scripts/test builds it before these tests).
const scriptPrinter = process.env.ZARN_PAGE_SCRIPT_PRINTER ??
  join(repoRoot, 'build/linux-debug/page-tests/page-script-printer');

function printedScript(...args) {
  if (!existsSync(scriptPrinter)) {
    throw new Error(`${scriptPrinter} is missing: build it with ` +
      '`cmake --preset linux-debug && cmake --build --preset linux-debug --target page_script_printer`');
  }
  return execFileSync(scriptPrinter, args, { encoding: 'utf8' });
}

// The start-up script for a default folder and a mode; the program adds its own version.
export function startupScript({ defaultDir, uninstall }) {
  return printedScript('startup', defaultDir, String(uninstall));
}

// The event-loop handler's script for one progress report (pct from 0 to 255, as the report's byte).
export function progressScript(step, pct, note, state) {
  return printedScript('progress', step, String(pct), note, state);
}

// The event-loop handler's script for a chosen folder, or null for none.
export function folderScript(dir) {
  return dir === null ? printedScript('folder') : printedScript('folder', dir);
}

// Records every uncaught error of the document, those of event listeners included.
const recordErrors =
  'window.__pageErrors = [];' +
  "window.addEventListener('error', function (event) { window.__pageErrors.push(String(event.message)); });";

const recordMessages =
  'window.__postedMessages = [];' +
  'window.ipc = { postMessage: function (message) { window.__postedMessages.push(message); } };';

// Opens a fresh document whose init scripts run, in order, whenever it begins to load, before
// its own scripts: as the web view runs the program's start-up script.
export async function openDocument(browser, { html = pageBytes, initScripts = [] } = {}) {
  const page = await browser.context.newPage();
  page.setDefaultTimeout(5000);
  await page.route(PAGE_URL, (route) =>
    route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body: html }));
  for (const content of [recordErrors, recordMessages, ...initScripts]) await page.addInitScript({ content });
  await page.goto(PAGE_URL, { waitUntil: 'load' });
  return page;
}

// Opens a fresh setup page in the state the program leaves it in after start-up.
export function openSetupPage(browser, init) {
  return openDocument(browser, { initScripts: [startupScript(init)] });
}

// The uncaught errors that the document has raised so far.
export function pageErrors(page) {
  return page.evaluate(() => window.__pageErrors.slice());
}

// Waits until no transition or animation runs in the document any more, so that what is read
// next is the end state of the last change and not a value halfway through a colour fade or a
// growing bar. The forced layout first starts the transitions of changes not yet styled.
export function settle(page) {
  return page.evaluate(async () => {
    for (let round = 0; round < 20; round++) {
      void document.body.offsetHeight;
      const running = document.getAnimations();
      if (running.length === 0) return;
      await Promise.allSettled(running.map((animation) => animation.finished));
    }
    throw new Error('the page keeps animating');
  });
}

// One computed style property of an element, read once the page has settled.
export async function settledStyle(page, selector, property) {
  await settle(page);
  return page.locator(selector).evaluate((element, name) => getComputedStyle(element)[name], property);
}

// Every text that the page has posted so far, in order.
export function postedMessages(page) {
  return page.evaluate(() => window.__postedMessages.slice());
}

// Runs a script in the page as the program's event-loop handler does.
export function runProgramScript(page, script) {
  return page.evaluate(script);
}

// Where this run keeps pictures for a person to look at.
export function outputDir() {
  const dir = join(repoRoot, 'test-output', 'page');
  mkdirSync(dir, { recursive: true });
  return dir;
}
