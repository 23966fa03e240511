// How the setup page looks in Chromium, the engine of the Windows web view: sizes, spacings,
// corners, type and colours, read as computed styles and as distances between elements once
// every transition has ended.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { launchBrowser, openSetupPage, settle } from './setup_page.mjs';

const INSTALL = { defaultDir: String.raw`C:\Users\Пётр\AppData\Local\ZARN`, uninstall: false };
const UNINSTALL = { ...INSTALL, uninstall: true };

// The document root's colours.
const COLOURS = {
  '--bg-app': '#141413',
  '--bg-panel': '#191918',
  '--bg-surface': '#262624',
  '--bg-surface-hover': '#2d2d2b',
  '--border': 'rgba(255, 255, 255, 0.08)',
  '--border-strong': 'rgba(255, 255, 255, 0.14)',
  '--text-primary': '#ecebe8',
  '--text-secondary': '#aba8a2',
  '--text-muted': '#7c7a75',
  '--accent': '#eceae5',
  '--accent-contrast': '#171716',
  '--danger': '#d13b42',
  '--success': '#2fa664',
};

// A colour as Chromium gives it back in a computed style.
function computed(colour) {
  if (!colour.startsWith('#')) return colour;
  const [r, g, b] = [1, 3, 5].map((at) => parseInt(colour.slice(at, at + 2), 16));
  return `rgb(${r}, ${g}, ${b})`;
}
const C = Object.fromEntries(Object.entries(COLOURS).map(([name, value]) => [name.slice(2), computed(value)]));

const UI_FONT = 'Inter, "Segoe UI Variable Text", "Segoe UI", system-ui, sans-serif';
const MONO_FONT = '"JetBrains Mono", Consolas, monospace';
const FRAME = `1px solid ${C.border}`;
const STRONG_FRAME = `1px solid ${C['border-strong']}`;
const TRANSPARENT = 'rgba(0, 0, 0, 0)';

const sides = (vertical, horizontal) => ({
  paddingTop: vertical, paddingBottom: vertical, paddingLeft: horizontal, paddingRight: horizontal,
});
const footerButton = {
  height: '36px', fullyRounded: true, ...sides('0px', '18px'), border: STRONG_FRAME,
  backgroundColor: C['bg-surface'], fontSize: '13px', fontWeight: '500',
};

// Each state of the page with the elements it shows. A property is a computed style, or one of
// the measures below: spaceAbove and spaceLeft (pixels between the element and the shown
// sibling before it), fullyRounded (every corner at least half the height: round ends),
// visibleBorder, and atMainContentEnd (resting on the main area's bottom padding).
const LOOK = [
  {
    state: 'install mode after start-up',
    init: INSTALL,
    rows: [
      ['document', 'html', { marginTop: '0px', overflow: 'hidden' }],
      ['body', 'body', { marginTop: '0px', marginLeft: '0px', overflow: 'hidden', fontFamily: UI_FONT }],
      ['window frame', '.app', { border: FRAME, backgroundColor: C['bg-app'] }],
      ['title bar', '.titlebar', {
        height: '44px', flexShrink: '0', alignItems: 'center', paddingTop: '0px', paddingBottom: '0px',
        paddingLeft: '18px', paddingRight: '12px', borderBottom: FRAME, cursor: 'grab',
      }],
      ['mark', '.brand-mark', { width: '22px', height: '18px', color: C['text-primary'] }],
      ['product name', '#brandTitle', { spaceLeft: 10, fontSize: '12.5px', fontWeight: '600', letterSpacing: '1.25px' }],
      ['close button', '.close-btn', {
        width: '28px', height: '28px', borderRadius: '8px', backgroundColor: TRANSPARENT,
        color: C['text-muted'], fontSize: '17px',
      }],
      ['main area', '.main', {
        flexDirection: 'column', rowGap: '16px', paddingTop: '22px', paddingLeft: '24px',
        paddingRight: '24px', paddingBottom: '20px',
      }],
      ['heading', '#heroTitle', { fontSize: '20px', fontWeight: '600', letterSpacing: '-0.2px' }],
      ['paragraph', '#heroSub', { spaceAbove: 6, fontSize: '13px', color: C['text-secondary'], lineHeight: '18.85px' }],
      ['options card', '#optionsCard', {
        spaceAbove: 16, border: FRAME, borderRadius: '14px', backgroundColor: C['bg-panel'],
        ...sides('15px', '16px'), rowGap: '11px',
      }],
      ['check box rows after the folder', '.checks', { spaceAbove: 11 }],
      ['folder label', '.field-label', { fontSize: '11.5px', fontWeight: '500', color: C['text-muted'] }],
      ['folder row', '.dir-row', { spaceAbove: 5 }],
      ['folder field', '#installDir', {
        height: '36px', fullyRounded: true, border: STRONG_FRAME, backgroundColor: C['bg-app'],
        paddingLeft: '13px', paddingRight: '13px', fontFamily: MONO_FONT, fontSize: '12px',
        cursor: 'pointer', textOverflow: 'ellipsis',
      }],
      ['browse button', '#browseBtn', {
        spaceLeft: 8, height: '36px', fullyRounded: true, border: STRONG_FRAME, ...sides('0px', '15px'),
        backgroundColor: C['bg-surface'], fontSize: '12.5px', fontWeight: '500', opacity: '1',
      }],
      ['first check box row', '.check:nth-child(1)', { fontSize: '12.5px', color: C['text-secondary'] }],
      ['second check box row', '.check:nth-child(2)', { spaceAbove: 8 }],
      ['third check box row', '.check:nth-child(3)', { spaceAbove: 8 }],
      ['check box', '#chkDesktop', { width: '15px', height: '15px', accentColor: C.accent }],
      ['check box text', '.check:nth-child(1) span', { spaceLeft: 9 }],
      ['footer', '.footer', { paddingTop: '6px', atMainContentEnd: true }],
      ['version', '#verLabel', { fontFamily: MONO_FONT, fontSize: '11px', color: C['text-muted'] }],
      ['plain footer button', '#cancelBtn', { ...footerButton, color: C['text-primary'] }],
      ['main button, accent style', '#installBtn', {
        spaceLeft: 8, height: '36px', fullyRounded: true, ...sides('0px', '18px'), visibleBorder: false,
        backgroundColor: C.accent, color: C['accent-contrast'], fontSize: '13px', fontWeight: '600', opacity: '1',
      }],
    ],
  },
  {
    state: 'install mode with the pointer on the close button, the field focused and a pick under way',
    init: INSTALL,
    async reach(page) {
      await page.click('#browseBtn');
      await page.locator('#installDir').focus();
      await page.locator('.close-btn').hover();
    },
    rows: [
      ['close button on hover', '.close-btn', { backgroundColor: C['bg-surface'], color: C['text-primary'] }],
      ['focused folder field', '#installDir', { borderColor: C['text-primary'] }],
      ['browse button while disabled', '#browseBtn', { opacity: '0.5', cursor: 'wait' }],
    ],
  },
  {
    state: 'working',
    init: INSTALL,
    async reach(page) { await page.click('#installBtn'); },
    rows: [
      ['progress card', '#progressBox', {
        spaceAbove: 16, border: FRAME, borderRadius: '14px', backgroundColor: C['bg-panel'],
        ...sides('18px', '16px'), rowGap: '10px',
      }],
      ['head line', '.progress-head', { fontSize: '13px' }],
      ['step title', '#stepLabel', { color: C['text-primary'], fontWeight: '500' }],
      ['percentage', '#pctLabel', { fontFamily: MONO_FONT, fontSize: '11.5px', color: C['text-muted'] }],
      ['bar', '.bar', { spaceAbove: 10, height: '4px', fullyRounded: true, backgroundColor: 'rgba(255, 255, 255, 0.08)' }],
      ['bar fill', '#barFill', {
        backgroundColor: C.accent, transitionProperty: 'width', transitionDuration: '0.25s',
        transitionTimingFunction: 'cubic-bezier(0.22, 1, 0.36, 1)',
      }],
      ['note', '#statusNote', { spaceAbove: 10, fontSize: '12px', color: C['text-muted'], minHeight: '18px' }],
      ['main button while disabled', '#installBtn', { opacity: '0.45', cursor: 'not-allowed' }],
      ['footer', '.footer', { atMainContentEnd: true }],
    ],
  },
  {
    state: 'uninstall mode after start-up',
    init: UNINSTALL,
    rows: [
      ['main button, danger style', '#installBtn', {
        height: '36px', fullyRounded: true, ...sides('0px', '18px'), backgroundColor: C.danger,
        color: 'rgb(255, 255, 255)', fontSize: '13px', fontWeight: '600',
      }],
      ['plain footer button', '#cancelBtn', { ...footerButton, color: C['text-primary'] }],
    ],
  },
];

// Reads, for each row, the same properties the row names, in the page as it now stands.
function readLook(page, rows) {
  return page.evaluate((rows) => {
    const round = (value) => Math.round(value * 100) / 100;
    const visible = (colour) => !/^rgba\(.*, 0\)$/.test(colour) && colour !== 'transparent';
    // The nearest earlier sibling that is shown.
    const before = (element) => {
      let sibling = element.previousElementSibling;
      while (sibling && sibling.getClientRects().length === 0) sibling = sibling.previousElementSibling;
      return sibling.getBoundingClientRect();
    };
    const measures = {
      spaceAbove: (element) => round(element.getBoundingClientRect().top - before(element).bottom),
      spaceLeft: (element) => round(element.getBoundingClientRect().left - before(element).right),
      fullyRounded: (element, style) => {
        const half = element.getBoundingClientRect().height / 2;
        return ['borderTopLeftRadius', 'borderTopRightRadius', 'borderBottomLeftRadius', 'borderBottomRightRadius']
          .every((corner) => parseFloat(style[corner]) >= half);
      },
      visibleBorder: (element, style) => ['Top', 'Right', 'Bottom', 'Left'].some((side) =>
        style[`border${side}Style`] !== 'none' && parseFloat(style[`border${side}Width`]) > 0 &&
        visible(style[`border${side}Color`])),
      // The footer rests on the main area's bottom padding.
      atMainContentEnd: (element) => {
        const main = element.closest('.main');
        const contentEnd = main.getBoundingClientRect().bottom - parseFloat(getComputedStyle(main).paddingBottom);
        return Math.abs(element.getBoundingClientRect().bottom - contentEnd) < 0.5;
      },
    };
    return rows.map(([, selector, expected]) => {
      const element = document.querySelector(selector);
      if (!element) return `no element ${selector}`;
      const style = getComputedStyle(element);
      return Object.fromEntries(Object.keys(expected).map((name) =>
        [name, measures[name] ? measures[name](element, style) : style[name]]));
    });
  }, rows);
}

let browser;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

describe('look', () => {
  for (const { state, init, reach, rows } of LOOK) {
    test(state, async () => {
      const page = await openSetupPage(browser, init);
      if (reach) await reach(page);
      await settle(page);
      const actual = await readLook(page, rows);
      const named = (values) => Object.fromEntries(rows.map(([what], i) => [what, values[i]]));
      assert.deepEqual(named(actual), named(rows.map(([, , expected]) => expected)));
    });
  }

  test('the root colours', async () => {
    const page = await openSetupPage(browser, INSTALL);
    const resolved = await page.evaluate((names) => names.map((name) => {
      const probe = document.createElement('div');
      probe.style.color = `var(${name})`;
      document.body.append(probe);
      const colour = getComputedStyle(probe).color;
      probe.remove();
      return [name, colour];
    }), Object.keys(COLOURS));
    assert.deepEqual(Object.fromEntries(resolved),
      Object.fromEntries(Object.entries(COLOURS).map(([name, value]) => [name, computed(value)])));
  });
});
