"""The volneda package against the simulated reader of the examples."""

import os
import shutil
import threading

import pytest

import volneda

CARTON = "0456000000000007"
EXAMPLES = os.path.join(os.environ.get("VOLNEDA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                        "examples")


@pytest.fixture(autouse=True)
def field(tmp_path, monkeypatch):
    for name in ("rfconfig.ini", "SWTT.INI", "tagfield.ini"):
        shutil.copy(os.path.join(EXAMPLES, name), tmp_path / name)
    monkeypatch.chdir(tmp_path)  # the reader list is found as rfconfig.ini, a bare name
    monkeypatch.setenv("TAGDRV_FIELD", "tagfield.ini")
    monkeypatch.delenv("RF_RFID_CONFIG", raising=False)
    yield
    assert not any(t.name == "volneda-status" and t.is_alive() for t in threading.enumerate())


def test_whole_session_with_typed_fields_and_status_messages():
    seen = []
    assert volneda.readers() == ["DOCK1", "GATE2"]
    with volneda.Reader(on_status=seen.append) as reader:
        assert reader.name == "DOCK1"
        tags = reader.identify()
        assert [(t.id, t.hw_tag_type, t.antenna) for t in tags] == [("0123456789ABCDEF", "I2", 1), (CARTON, "I2", 2)]
        pallet = reader.read("*", where="tagid=0123456789ABCDEF")[0]
        assert (pallet["Count"], pallet["Product"], pallet["Serial"]) == (42, "WIDGET-A", "0123456789ABCDEF")
        carton = reader.read("field(1,5) mem(head,0,4,h)", "swtt=0456")[0]
        assert [f.exists for f in carton.fields] == [True, False, True]
        assert (carton["Weight"], carton["head"]) == (1000, "04560000")

        reader.write(volneda.WriteRequest().tag(CARTON).field(1, 1250).mem(48, "Müller <&> Söhne €"))
        back = reader.read("field(1) mem(name,48,18,s)", where="tagid=" + CARTON)[0]
        assert (back["Weight"], back["name"]) == (1250, "Müller <&> Söhne €")
        assert reader.last_document.startswith('<ReadTags Reader="DOCK1"')

        assert reader.attribute("Power") == "30"
        reader.set_attribute("Label", "Grüße €")
        assert reader.attribute("Label") == "Grüße €"
    lines = [str(m) for m in seen]
    assert "[information] write 0 (success): Write OK" in lines
    assert any(line.startswith("[warning] read -3302 (a requested template field") and line.endswith(": Field 5")
               for line in lines)


def test_tags_arrive_and_leave_round_by_round():
    rounds = [  # the tags in DOCK1's field, round by round (examples/tagfield.ini)
        {"0123456789ABCDEF", CARTON},
        {"0123456789ABCDEF", CARTON},
        {"0123456789ABCDEF", CARTON, "0456000000000012"},
        {"0123456789ABCDEF", CARTON, "0456000000000012"},
        {"0123456789ABCDEF", CARTON, "0123000000000002"},
    ]
    with volneda.Reader("DOCK1") as reader:
        assert [{t.id for t in reader.identify()} for _ in rounds] == rounds


@pytest.mark.parametrize("action, code, meaning", [
    (lambda r: r.command("frobnicate"), -3201, 'the command begins with neither "read" nor "identify"'),
    (lambda r: r.identify("tagid=0123"), -3205, "a tagid value that is not 16 characters long"),
    (lambda r: r.write("@no-such-request.xml"), -3000, "the write request file named after '@' cannot be opened"),
    (lambda r: r.write(volneda.WriteRequest().tag("0999000000000000").field(1, 5)), -3351,
     volneda.code_meaning(-3351)),
    (lambda r: r.attribute("NoSuchAttribute"), -60, "reader driver: Unknown attribute"),
])
def test_failures_carry_the_code_and_its_meaning(action, code, meaning):
    with volneda.Reader() as reader:
        with pytest.raises(volneda.VolnedaError) as e:
            action(reader)
    assert (e.value.code, e.value.meaning) == (code, meaning)


@pytest.mark.parametrize("action", [
    lambda r: r.write(volneda.WriteRequest().tag(CARTON).mem(48, "Łódź 日本")),
    lambda r: r.write('<WriteTags><Tag ID="%s"><MEMField MemStart="48">&#x141;ód&#378;</MEMField></Tag></WriteTags>'
                      % CARTON),
    lambda r: r.set_attribute("Label", "Łódź"),
    lambda r: r.read("mem(Łódź,48,6,s)"),
])
def test_text_the_code_page_cannot_hold_is_refused_unless_lossy(action):
    with volneda.Reader() as reader:
        with pytest.raises(volneda.LossyTextError) as e:
            action(reader)
        assert e.value.characters[:2] == ["Ł", "ź"] and "'Ł' (U+0141), 'ź' (U+017A)" in str(e.value)
        reader.lossy = True
        action(reader)


def test_a_reader_that_fails_to_open_names_the_readers_and_leaves_nothing_running():
    with pytest.raises(volneda.VolnedaError) as e:
        volneda.Reader("DOCK9")
    assert e.value.code == -100 and str(e.value).endswith("holds DOCK1, GATE2")


def test_close_runs_also_when_the_block_raises():
    with pytest.raises(RuntimeError):
        with volneda.Reader() as reader:
            raise RuntimeError("the caller's own failure")
    with pytest.raises(ValueError):
        reader.identify()
    with pytest.raises(ValueError):
        volneda.WriteRequest().field(1, "x")
