import com.korvanel.datacollection.rfid.VOLNEDAProxy;

/**
 * Lists the readers, opens one and identifies the tags in its field.
 *
 * <pre>java -Djava.library.path=LIBDIR -cp volneda.jar:volneda-examples.jar Inventory [LIST [READER]]</pre>
 */
public final class Inventory {
    private Inventory() {
    }

    public static void main(String[] args) {
        int[] lister = new int[1];
        VOLNEDAProxy.VOLNEDA_StartAll(lister, args.length > 0 ? args[0] : "./rfconfig.ini");
        String[] name = new String[1];
        for (int rc = VOLNEDAProxy.VOLNEDA_FindFirstReader(lister[0], name, 0); rc == 0;
                rc = VOLNEDAProxy.VOLNEDA_FindNextReader(lister[0], name)) {
            System.out.println("reader " + name[0]);
        }
        VOLNEDAProxy.VOLNEDA_StopAll(lister);

        int handle = Example.startAndOpen(args);
        if (handle == 0) {
            System.exit(1);
        }
        String document = Example.command(handle, "identify");
        if (document != null) {
            int[] doc = new int[1];
            VOLNEDAProxy.XMLreader_OpenDoc(doc, document);
            if (VOLNEDAProxy.XMLreader_GetElement(doc[0]) == 1) { // 1: IdentifyTags
                String[] count = new String[1];
                VOLNEDAProxy.XMLreader_GetAttribute(doc[0], "TagCount", count, 16);
                System.out.println(count[0] + " tags");
                while (VOLNEDAProxy.XMLreader_FindChildElement(doc[0], "Tag")) {
                    String antenna = Example.childAttribute(doc[0], "Antenna");
                    System.out.println("tag " + Example.childAttribute(doc[0], "ID")
                            + " swtt " + Example.childAttribute(doc[0], "SWTT")
                            + " antenna " + (antenna.isEmpty() ? "-" : antenna));
                }
            }
            VOLNEDAProxy.XMLreader_CloseDoc(doc[0]);
        }
        Example.closeAndStop(handle);
        System.exit(document != null ? 0 : 1);
    }
}
