// The setup page in Chromium, the engine of the Windows web view: loaded as the program loads
// it, then clicked and read as a user would.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { join } from 'node:path';
import {
  folderScript, launchBrowser, openDocument, openSetupPage, outputDir, pageErrors, postedMessages,
  progressScript, runProgramScript, settle, settledStyle, startupScript, WINDOW_SIZE,
} from './setup_page.mjs';

const DEFAULT_DIR = String.raw`C:\Users\Пётр O'Neil\AppData\Local\ZARN`;
const DEFAULT_DIR_JSON = JSON.stringify(DEFAULT_DIR);
const INSTALL = { defaultDir: DEFAULT_DIR, uninstall: false };
const UNINSTALL = { defaultDir: DEFAULT_DIR, uninstall: true };

const DANGER = 'rgb(209, 59, 66)';
const SUCCESS = 'rgb(47, 166, 100)';

let browser;
before(async () => { browser = await launchBrowser(); });
after(async () => { await browser?.close(); });

const closeButton = (page) => page.locator('.titlebar button[title="Закрыть"]');
const text = (page, selector) => page.locator(selector).innerText();
const isShown = (page, selector) => page.locator(selector).isVisible();

// Nothing scrolls and nothing spills out of the main area's padding: what does not fit shows
// as an overflow here rather than as a cut-off footer on screen.
async function assertNothingScrolls(page) {
  const overflow = await page.evaluate(() => {
    const root = document.scrollingElement;
    const main = document.querySelector('.main');
    const box = main.getBoundingClientRect();
    const style = getComputedStyle(main);
    const contentBottom = box.bottom - parseFloat(style.paddingBottom);
    const contentRight = box.right - parseFloat(style.paddingRight);
    let spill = 0;
    for (const child of main.children) {
      const rect = child.getBoundingClientRect();
      spill = Math.max(spill, rect.bottom - contentBottom, rect.right - contentRight);
    }
    return {
      root: root.scrollHeight - root.clientHeight,
      rootWidth: root.scrollWidth - root.clientWidth,
      spill: spill > 0.5 ? spill : 0,
    };
  });
  assert.deepEqual(overflow, { root: 0, rootWidth: 0, spill: 0 });
}

// The bar's width is animated: its share of the track is read once the animation has ended.
async function assertBarShare(page, share) {
  await settle(page);
  const { fill, track } = await page.evaluate(() => {
    const fillBox = document.getElementById('barFill').getBoundingClientRect();
    const trackBox = document.getElementById('barFill').parentElement.getBoundingClientRect();
    return { fill: fillBox.width, track: trackBox.width };
  });
  assert.ok(Math.abs(fill - share * track) < 0.5, `bar fill ${fill}px of ${track}px, wanted ${share * 100}%`);
}

async function noteLook(page) {
  await settle(page);
  return page.locator('#statusNote').evaluate((note) => ({
    text: note.textContent, className: note.className, color: getComputedStyle(note).color,
  }));
}

// What the page shows of its elements: texts, the folder field's value, which are shown and
// which enabled, the check boxes and the bar's share of its track.
function pageState(page) {
  return page.evaluate(() => {
    const byId = (id) => document.getElementById(id);
    const texts = ['brandTitle', 'heroTitle', 'heroSub', 'stepLabel', 'pctLabel', 'statusNote', 'verLabel',
      'browseBtn', 'cancelBtn', 'installBtn', 'launchBtn'];
    const fill = byId('barFill');
    return {
      texts: Object.fromEntries(texts.map((id) => [id, byId(id).textContent])),
      folder: byId('installDir').value,
      shown: Object.fromEntries(['optionsCard', 'progressBox', 'installBtn', 'launchBtn']
        .map((id) => [id, byId(id).getClientRects().length > 0])),
      enabled: Object.fromEntries(['browseBtn', 'cancelBtn', 'installBtn'].map((id) => [id, !byId(id).disabled])),
      ticked: Object.fromEntries(['chkDesktop', 'chkStartMenu', 'chkAutostart'].map((id) => [id, byId(id).checked])),
      barShare: fill.getBoundingClientRect().width / fill.parentElement.getBoundingClientRect().width || 0,
    };
  });
}

const FIRST_STATE = {
  texts: {
    brandTitle: 'ZARN',
    heroTitle: 'Установка ZARN',
    heroSub: 'Лёгкий клиент (~2 МБ), установка без прав администратора и автоматические обновления при запуске.',
    stepLabel: 'Подготовка…',
    pctLabel: '0%',
    statusNote: '',
    verLabel: 'v0.3.0',
    browseBtn: 'Обзор…',
    cancelBtn: 'Отмена',
    installBtn: 'Установить',
    launchBtn: 'Запустить ZARN',
  },
  folder: '',
  shown: { optionsCard: true, progressBox: false, installBtn: true, launchBtn: false },
  enabled: { browseBtn: true, cancelBtn: true, installBtn: true },
  ticked: { chkDesktop: true, chkStartMenu: true, chkAutostart: false },
  barShare: 0,
};

describe('before start-up', () => {
  test('the document holds its first texts until the start-up script has run', async () => {
    const page = await openDocument(browser);
    await settle(page);
    assert.deepEqual(await pageState(page), FIRST_STATE);
    assert.deepEqual(await pageErrors(page), []);
  });

  test('the progress card opens on the first step title and 0% until the first report', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#installBtn');
    await settle(page);
    const { texts, barShare } = await pageState(page);
    assert.deepEqual({ step: texts.stepLabel, pct: texts.pctLabel, note: texts.statusNote, barShare },
      { step: 'Подготовка…', pct: '0%', note: '', barShare: 0 });
  });
});

describe('program scripts that find no page function', () => {
  // The start-up script's object, as the page's own function receives it.
  const PAGE_INIT = { defaultDir: DEFAULT_DIR, uninstall: false, version: '0.3.4' };
  const recordCalls = 'window.__calls = [];';
  const documents = [
    { name: 'a document without it', script: recordCalls, calls: [] },
    {
      name: 'a document that defines it only once loaded',
      script: recordCalls + "window.addEventListener('load', function () {" +
        ' window.__zarnInstallerInit = function (opts) { window.__calls.push(opts); }; });',
      calls: [],
    },
    // The same script reaches a page that has the function: it is called once, with the object.
    {
      name: 'a document that defines it in its own script',
      script: recordCalls + 'window.__zarnInstallerInit = function (opts) { window.__calls.push(opts); };',
      calls: [PAGE_INIT],
    },
  ];
  for (const { name, script, calls } of documents) {
    test(`the start-up script in ${name}`, async () => {
      const html = `<!DOCTYPE html><html><head><title>t</title></head><body><p>x</p><script>${script}</script></body></html>`;
      const page = await openDocument(browser, { html, initScripts: [startupScript(INSTALL)] });
      assert.deepEqual(await page.evaluate(() => window.__calls), calls);
      assert.deepEqual(await pageErrors(page), []);
    });
  }

  const earlyScripts = [
    progressScript('Установка завершена', 100, 'ZARN установлен', 'done'),
    progressScript('Загрузка…', 30, 'Ошибка загрузки', 'error'),
    folderScript('D:\Другая папка'),
    folderScript(null),
  ];

  test('progress and folder scripts run before the page script do nothing', async () => {
    // Run as the document begins to load, after the start-up script and before the page's
    // own script has defined any of its functions.
    const page = await openDocument(browser, { initScripts: [startupScript(INSTALL), ...earlyScripts] });
    await settle(page);
    assert.deepEqual(await pageErrors(page), []);
    assert.deepEqual(await pageState(page), {
      ...FIRST_STATE, texts: { ...FIRST_STATE.texts, verLabel: 'v0.3.4' }, folder: DEFAULT_DIR,
    });
    // The page's functions, defined afterwards, take the next reports as usual.
    await page.click('#installBtn');
    await runProgramScript(page, progressScript('Загрузка…', 42, '', 'working'));
    assert.equal(await text(page, '#pctLabel'), '42%');
  });

  test('progress and folder scripts in a document without the page functions do nothing', async () => {
    const page = await openDocument(browser, { html: '<!DOCTYPE html><title>t</title><p>x</p>' });
    for (const script of earlyScripts) await runProgramScript(page, script);
    assert.deepEqual(await pageErrors(page), []);
  });
});

describe('after start-up', () => {
  test('install mode offers the options, the folder and the install button', async () => {
    const page = await openSetupPage(browser, INSTALL);
    assert.equal(await page.title(), 'Установка ZARN');
    assert.equal(await page.locator('html').getAttribute('lang'), 'ru');
    assert.equal(await text(page, '#brandTitle'), 'ZARN');
    assert.equal(await text(page, '#heroTitle'), 'Установка ZARN');
    assert.equal(await text(page, '#heroSub'),
      'Лёгкий клиент (~2 МБ), установка без прав администратора и автоматические обновления при запуске.');
    assert.equal(await text(page, '#verLabel'), 'v0.3.4');

    assert.equal(await isShown(page, '#optionsCard'), true);
    assert.equal(await isShown(page, '#progressBox'), false);
    assert.equal(await isShown(page, '#launchBtn'), false);
    assert.equal(await page.locator('#installDir').inputValue(), DEFAULT_DIR);
    assert.equal(await page.getByLabel('Папка установки').inputValue(), DEFAULT_DIR);
    assert.equal(await page.locator('#installDir').getAttribute('title'), 'Нажмите, чтобы выбрать папку');
    assert.equal(await page.locator('#browseBtn').innerText(), 'Обзор…');
    assert.equal(await page.locator('#browseBtn').isEnabled(), true);
    assert.equal(await page.getByLabel('Ярлык на рабочем столе').isChecked(), true);
    assert.equal(await page.getByLabel('Ярлык в меню «Пуск»').isChecked(), true);
    assert.equal(await page.getByLabel('Запускать вместе с Windows').isChecked(), false);

    const install = page.locator('#installBtn');
    assert.equal(await install.innerText(), 'Установить');
    assert.equal(await install.isEnabled(), true);
    assert.match(await install.getAttribute('class'), /\bprimary\b/);
    assert.doesNotMatch(await install.getAttribute('class'), /\bdanger\b/);
    assert.equal(await text(page, '#cancelBtn'), 'Отмена');
    assert.equal(await closeButton(page).innerText(), '×');

    assert.deepEqual(await postedMessages(page), []);
    await assertNothingScrolls(page);
    await page.screenshot({ path: join(outputDir(), 'install-mode.png') });
  });

  test('uninstall mode offers removal in the danger style and keeps the default folder', async () => {
    const page = await openSetupPage(browser, UNINSTALL);
    assert.equal(await page.title(), 'Установка ZARN');
    assert.equal(await text(page, '#brandTitle'), 'ZARN · УДАЛЕНИЕ');
    assert.equal(await text(page, '#heroTitle'), 'Удаление ZARN');
    assert.equal(await text(page, '#heroSub'), 'Клиент, ярлыки и записи автозапуска будут полностью удалены.');
    assert.equal(await text(page, '#verLabel'), 'v0.3.4');
    assert.equal(await isShown(page, '#optionsCard'), false);
    assert.equal(await isShown(page, '#progressBox'), false);
    assert.equal(await isShown(page, '#launchBtn'), false);
    assert.equal(await page.locator('#installDir').inputValue(), DEFAULT_DIR);

    const remove = page.locator('#installBtn');
    assert.equal(await remove.innerText(), 'Удалить ZARN');
    assert.equal(await remove.isEnabled(), true);
    assert.match(await remove.getAttribute('class'), /\bdanger\b/);
    assert.doesNotMatch(await remove.getAttribute('class'), /\bprimary\b/);
    // The button turns from the accent style to the danger style with a colour fade.
    assert.equal(await settledStyle(page, '#installBtn', 'backgroundColor'), DANGER);
    assert.equal(await text(page, '#cancelBtn'), 'Отмена');

    assert.deepEqual(await postedMessages(page), []);
    await assertNothingScrolls(page);
    await page.screenshot({ path: join(outputDir(), 'uninstall-mode.png') });
  });

  test('no text outside the folder field can be selected', async () => {
    const page = await openSetupPage(browser, INSTALL);
    for (const selector of ['#heroSub', '#heroTitle', '#brandTitle', '#verLabel']) {
      await page.locator(selector).click({ clickCount: 3 });
      assert.equal(await page.evaluate(() => window.getSelection().toString()), '', selector);
    }
    await page.keyboard.press('Control+A');
    assert.equal(await page.evaluate(() => window.getSelection().toString()), '');
    assert.equal(await page.locator('#installDir').evaluate((f) => getComputedStyle(f).userSelect), 'text');
  });
});

describe('messages', () => {
  const checkBoxCases = [
    { name: 'as offered', clicks: [], boxes: [true, true, false] },
    { name: 'every box turned over', clicks: ['#chkDesktop', '#chkStartMenu', '#chkAutostart'], boxes: [false, false, true] },
    // A click on a row's text turns its box over too.
    { name: 'turned over by their texts', clicks: ['text=Ярлык на рабочем столе', 'text=Запускать вместе с Windows'], boxes: [false, true, true] },
    { name: 'a box turned over twice', clicks: ['#chkStartMenu', '#chkStartMenu'], boxes: [true, true, false] },
  ];
  for (const { name, clicks, boxes } of checkBoxCases) {
    test(`install sends the trimmed folder and the boxes ${name}`, async () => {
      const page = await openSetupPage(browser, INSTALL);
      for (const selector of clicks) await page.click(selector);
      // The folder comes back from a pick with blanks around it.
      await page.click('#browseBtn');
      await runProgramScript(page, folderScript(' \t D:\\Мои программы\\ZARN  '));
      await page.click('#installBtn');
      const [desktop, startMenu, autostart] = boxes;
      assert.deepEqual(await postedMessages(page), [
        String.raw`{"cmd":"browse_dir","installDir":"C:\\Users\\Пётр O'Neil\\AppData\\Local\\ZARN"}`,
        String.raw`{"cmd":"install","installDir":"D:\\Мои программы\\ZARN",` +
          `"desktopShortcut":${desktop},"startMenuShortcut":${startMenu},"autostart":${autostart}}`,
      ]);
    });
  }

  test('a start-up folder with blanks around it is sent trimmed', async () => {
    const page = await openSetupPage(browser, { ...INSTALL, defaultDir: '  C:\\ZARN ' });
    await page.click('#installDir');
    await runProgramScript(page, folderScript(null));
    await page.click('#installBtn');
    assert.deepEqual(await postedMessages(page), [
      String.raw`{"cmd":"browse_dir","installDir":"C:\\ZARN"}`,
      String.raw`{"cmd":"install","installDir":"C:\\ZARN","desktopShortcut":true,"startMenuShortcut":true,"autostart":false}`,
    ]);
  });

  test('uninstall sends the default folder received at start-up', async () => {
    const page = await openSetupPage(browser, UNINSTALL);
    await page.click('#installBtn');
    assert.deepEqual(await postedMessages(page), [`{"cmd":"uninstall","installDir":${DEFAULT_DIR_JSON}}`]);
    assert.equal(await page.locator('#installBtn').isDisabled(), true);
    assert.equal(await isShown(page, '#progressBox'), true);
    assert.equal(await isShown(page, '#optionsCard'), false);
  });

  test('both close buttons send close, also while work is under way', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await closeButton(page).click();
    await page.click('#cancelBtn');
    await page.click('#installBtn');
    await closeButton(page).click();
    await page.click('#cancelBtn');
    const messages = await postedMessages(page);
    assert.deepEqual(messages.filter((m) => !m.startsWith('{"cmd":"install"')),
      Array(4).fill('{"cmd":"close"}'));
  });

  test('a press on the title bar sends drag, a press on its close button does not', async () => {
    const page = await openSetupPage(browser, INSTALL);
    const bar = await page.locator('.titlebar').boundingBox();
    // On the mark, on the name and on the empty middle of the bar.
    for (const target of [page.locator('.brand-mark'), page.locator('#brandTitle')]) {
      await target.hover();
      await page.mouse.down();
      await page.mouse.up();
    }
    await page.mouse.move(bar.x + bar.width / 2, bar.y + bar.height / 2);
    await page.mouse.down({ button: 'left' });
    await page.mouse.up({ button: 'left' });
    assert.deepEqual(await postedMessages(page), Array(3).fill('{"cmd":"drag"}'));

    await closeButton(page).hover();
    await page.mouse.down();
    await page.mouse.up();
    assert.deepEqual((await postedMessages(page)).slice(3), ['{"cmd":"close"}']);

    // Elsewhere on the page a press sends nothing.
    await page.locator('#heroTitle').hover();
    await page.mouse.down();
    await page.mouse.up();
    assert.equal((await postedMessages(page)).length, 4);
  });
});

describe('folder pick', () => {
  test('one pick at a time: a second press before the answer sends nothing', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#browseBtn');
    assert.equal(await page.locator('#browseBtn').isDisabled(), true);
    await page.click('#installDir');
    await page.locator('#browseBtn').dispatchEvent('click');
    assert.deepEqual(await postedMessages(page), [`{"cmd":"browse_dir","installDir":${DEFAULT_DIR_JSON}}`]);
  });

  for (const answer of [null, '']) {
    test(`an answer of ${JSON.stringify(answer)} re-enables browsing and keeps the folder`, async () => {
      const page = await openSetupPage(browser, INSTALL);
      await page.click('#installDir');
      await runProgramScript(page, folderScript(answer));
      assert.equal(await page.locator('#browseBtn').isEnabled(), true);
      assert.equal(await page.locator('#installDir').inputValue(), DEFAULT_DIR);
      await page.click('#browseBtn');
      assert.deepEqual(await postedMessages(page),
        Array(2).fill(`{"cmd":"browse_dir","installDir":${DEFAULT_DIR_JSON}}`));
    });
  }

  test('a chosen folder fills the field and is what the next pick starts from', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#browseBtn');
    await runProgramScript(page, folderScript('E:\\Игры "и" софт\\ZARN'));
    assert.equal(await page.locator('#installDir').inputValue(), 'E:\\Игры "и" софт\\ZARN');
    await page.click('#browseBtn');
    assert.equal((await postedMessages(page))[1], String.raw`{"cmd":"browse_dir","installDir":"E:\\Игры \"и\" софт\\ZARN"}`);
  });
});

describe('progress', () => {
  test('the percentage is clamped to 0..100 and the bar follows it', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#installBtn');
    // The program's report carries a byte; a negative number reaches the page only by a call
    // of the page's function itself.
    const negative = (pct) => `window.__zarnInstallerProgress('Загрузка…', ${pct}, '', 'working')`;
    const cases = [
      { pct: 150, shown: '100%', share: 1, script: progressScript('Загрузка…', 150, '', 'working') },
      { pct: 45, shown: '45%', share: 0.45, script: progressScript('Загрузка…', 45, '', 'working') },
      { pct: -5, shown: '0%', share: 0, script: negative(-5) },
      { pct: 255, shown: '100%', share: 1, script: progressScript('Загрузка…', 255, '', 'working') },
      { pct: 0, shown: '0%', share: 0, script: progressScript('Загрузка…', 0, '', 'working') },
    ];
    for (const { pct, shown, share, script } of cases) {
      await runProgramScript(page, script);
      assert.equal(await text(page, '#pctLabel'), shown, `pct ${pct}`);
      await assertBarShare(page, share);
    }
    // Called without a percentage, step or note, the display empties rather than showing "undefined".
    await page.evaluate(() => window.__zarnInstallerProgress());
    assert.equal(await text(page, '#pctLabel'), '0%');
    assert.equal(await page.locator('#stepLabel').textContent(), '');
    assert.equal(await page.locator('#statusNote').textContent(), '');
  });

  test('the note is coloured by the state and a working report changes no button', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#installBtn');
    await runProgramScript(page, progressScript('Создание директории…', 16, 'C:\\ZARN\n"x"', 'working'));
    assert.equal(await text(page, '#stepLabel'), 'Создание директории…');
    assert.deepEqual(await noteLook(page), { text: 'C:\\ZARN\n"x"', className: 'status-note', color: 'rgb(124, 122, 117)' });
    assert.equal(await page.locator('#installBtn').isDisabled(), true);
    assert.equal(await isShown(page, '#launchBtn'), false);

    await runProgramScript(page, progressScript('Ошибка', 35, 'Ошибка записи файла', 'error'));
    assert.deepEqual(await noteLook(page), { text: 'Ошибка записи файла', className: 'status-note error', color: DANGER });

    await runProgramScript(page, progressScript('Готово', 100, 'ZARN установлен', 'done'));
    assert.deepEqual(await noteLook(page), { text: 'ZARN установлен', className: 'status-note ok', color: SUCCESS });

    await runProgramScript(page, progressScript('Дальше', 50, 'текст', 'something else'));
    assert.deepEqual(await noteLook(page), { text: 'текст', className: 'status-note', color: 'rgb(124, 122, 117)' });
  });

  test('after an error the same request can be sent again with the same choices', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#chkAutostart');
    await page.click('#installBtn');
    const longError = 'Ошибка загрузки: https://updates.zarn.example/downloads/windows/x86_64/zarn-0.3.4-' +
      'setup-package.exe: status code 404 (Не удалось найти указанный файл, повторите попытку позже)';
    await runProgramScript(page, progressScript('Загрузка…', 30, longError, 'error'));
    assert.equal(await page.locator('#statusNote').textContent(), longError);
    assert.equal(await page.locator('#installBtn').isEnabled(), true);
    assert.equal(await isShown(page, '#optionsCard'), false);
    assert.equal(await isShown(page, '#progressBox'), true);
    await assertNothingScrolls(page);
    await page.screenshot({ path: join(outputDir(), 'install-failed.png') });

    await page.click('#installBtn');
    const messages = await postedMessages(page);
    assert.equal(messages.length, 2);
    assert.equal(messages[1], messages[0]);
    assert.equal(messages[0],
      `{"cmd":"install","installDir":${DEFAULT_DIR_JSON},"desktopShortcut":true,"startMenuShortcut":true,"autostart":true}`);
    assert.equal(await page.locator('#installBtn').isDisabled(), true);
  });

  test('a failed uninstall can be sent again', async () => {
    const page = await openSetupPage(browser, UNINSTALL);
    await page.click('#installBtn');
    await runProgramScript(page, progressScript('Удаление файлов…', 55, 'Отказано в доступе. (os error 5)', 'error'));
    await page.click('#installBtn');
    assert.deepEqual(await postedMessages(page),
      Array(2).fill(`{"cmd":"uninstall","installDir":${DEFAULT_DIR_JSON}}`));
  });

  test('a finished install offers to start the client', async () => {
    const page = await openSetupPage(browser, INSTALL);
    await page.click('#installBtn');
    await runProgramScript(page, progressScript('Установка завершена', 100, 'ZARN установлен', 'done'));
    assert.equal(await isShown(page, '#installBtn'), false);
    assert.equal(await isShown(page, '#launchBtn'), true);
    assert.equal(await text(page, '#launchBtn'), 'Запустить ZARN');
    assert.equal(await text(page, '#cancelBtn'), 'Готово');
    await assertBarShare(page, 1);
    await assertNothingScrolls(page);
    await page.screenshot({ path: join(outputDir(), 'install-done.png') });

    await page.click('#launchBtn');
    await page.click('#cancelBtn');
    assert.deepEqual((await postedMessages(page)).slice(1), ['{"cmd":"launch"}', '{"cmd":"close"}']);
  });

  test('a finished uninstall offers no launch, only Готово', async () => {
    const page = await openSetupPage(browser, UNINSTALL);
    await page.click('#installBtn');
    await runProgramScript(page, progressScript('Удаление завершено', 100, 'ZARN удалён', 'done'));
    assert.equal(await isShown(page, '#installBtn'), false);
    assert.equal(await isShown(page, '#launchBtn'), false);
    assert.equal(await text(page, '#cancelBtn'), 'Готово');
    await assertBarShare(page, 1);
    await page.screenshot({ path: join(outputDir(), 'uninstall-done.png') });
  });
});

test('the page fills the window exactly', async () => {
  const page = await openSetupPage(browser, INSTALL);
  const frame = await page.locator('.app').boundingBox();
  assert.deepEqual(frame, { x: 0, y: 0, ...WINDOW_SIZE });
  assert.equal((await page.locator('.titlebar').boundingBox()).height, 44);
});
