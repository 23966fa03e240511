// Loads the setup page into Chromium the way the program loads it into its web view: the
// page's own bytes as HTML content, with window.ipc.postMessage recorded and the program's
// start-up script run at the start of the document.
import { chromium } from 'playwright-core';
import { mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
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

// The program's start-up script, word for word, around the compact JSON of its start-up object.
export function startupScript({ defaultDir, uninstall, version }) {
  const pageInit = JSON.stringify({ defaultDir, uninstall, version });
  return "window.addEventListener('DOMContentLoaded', function() { " +
    'window.__zarnInstallerInit && window.__zarnInstallerInit(' + pageInit + '); });';
}

const recordMessages =
  'window.__postedMessages = [];' +
  'window.ipc = { postMessage: function (message) { window.__postedMessages.push(message); } };';

// Opens a fresh page in the state the program leaves it in after start-up.
export async function openSetupPage(browser, init) {
  const page = await browser.context.newPage();
  page.setDefaultTimeout(5000);
  await page.route(PAGE_URL, (route) =>
    route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body: pageBytes }));
  await page.addInitScript({ content: recordMessages });
  await page.addInitScript({ content: startupScript(init) });
  await page.goto(PAGE_URL, { waitUntil: 'load' });
  return page;
}

// Every text that the page has posted so far, in order.
export function postedMessages(page) {
  return page.evaluate(() => window.__postedMessages.slice());
}

// Runs a script in the page as the program's event-loop handler does.
export function runProgramScript(page, script) {
  return page.evaluate(script);
}

export function progressScript(step, pct, note, state) {
  return 'window.__zarnInstallerProgress && window.__zarnInstallerProgress(' +
    JSON.stringify(step) + ', ' + pct + ', ' + JSON.stringify(note) + ', ' + JSON.stringify(state) + ');';
}

export function folderScript(dir) {
  return 'window.__zarnInstallerSetDir && window.__zarnInstallerSetDir(' +
    (dir === null ? 'null' : JSON.stringify(dir)) + ');';
}

// Where this run keeps pictures for a person to look at.
export function outputDir() {
  const dir = join(repoRoot, 'test-output', 'page');
  mkdirSync(dir, { recursive: true });
  return dir;
}
