// The section model over real folders: which files are listed, how they are
// ordered and cut into sections, and the look-ups the view relies on.

#include "tests/testkit/fixtures/SectionModelScene.h"

using namespace sorrelby::testkit::sectionmodel;

TEST_F(SectionModel, EmptyFolderAndLookupsOutOfRange)
{
    ImageDirectoryLoader loader;
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(makeTempFolder()));
    EXPECT_EQ(loader.numberOfItems(), 0);
    EXPECT_EQ(loader.numberOfSections, 1);
    ASSERT_EQ(loader.sectionsAttributesArray.size(), 1u);
    EXPECT_EQ(loader.numberOfItemsInSection(0), 0);
    EXPECT_EQ(loader.numberOfItemsInSection(1), 0);
    EXPECT_EQ(loader.numberOfItemsInSection(-1), 0);
    EXPECT_FALSE(loader.barcodeidForSection(0));
    EXPECT_FALSE(loader.imageFileForIndexPath({0, 0}));

    // A loader never loaded answers too.
    ImageDirectoryLoader fresh;
    EXPECT_EQ(fresh.numberOfItemsInSection(0), 0);
    EXPECT_FALSE(fresh.imageFileForIndexPath({0, 0}));
    EXPECT_FALSE(fresh.barcodeidForSection(0));
}

TEST_F(SectionModel, SectionsAreRunsOfPhotosWithTheSameKey)
{
    const QString folder = makeTempFolder();
    makePhotos(folder, {"A1_X_1.JPG", "A1_X_2.JPG", "B2_X_3.JPG", "A1_X_4.JPG"});
    ImageDirectoryLoader loader;
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(folder)); // capture time, oldest first
    EXPECT_EQ(sectionsOf(loader),
              (std::vector<Section>{{"A1", 0, {"A1_X_1.JPG", "A1_X_2.JPG"}}, {"B2", 2, {"B2_X_3.JPG"}}, {"A1", 3, {"A1_X_4.JPG"}}}));
    EXPECT_EQ(loader.numberOfSections, 3);
    EXPECT_EQ(loader.sectionLengthArray, (std::vector<int>{2, 1, 1}));
    EXPECT_EQ(loader.numberOfItemsInSection(3), 0);
    EXPECT_FALSE(loader.imageFileForIndexPath({1, 1})); // not the next section's first photo
    EXPECT_FALSE(loader.imageFileForIndexPath({3, 0}));
    EXPECT_FALSE(loader.barcodeidForSection(3));
    EXPECT_EQ(*loader.imageFileForIndexPath({2, 0})->basecode, QStringLiteral("A1"));
    EXPECT_TRUE(loader.imageFileForIndexPath({0, 0})->fileurl.startsWith(QDir(folder).absolutePath() + "/"));
    ASSERT_TRUE(loader.fSortedUrls);
    EXPECT_EQ(loader.fSortedUrls->size(), 4);

    // Newest first.
    Settings::shared().setValue(QStringLiteral("prefInputFolderSortOrderKeySelectedIndex"), 1);
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(folder));
    EXPECT_EQ(sectionsOf(loader),
              (std::vector<Section>{{"A1", 0, {"A1_X_4.JPG"}}, {"B2", 1, {"B2_X_3.JPG"}}, {"A1", 2, {"A1_X_2.JPG", "A1_X_1.JPG"}}}));

    // Single-section mode: one section of everything.
    loader.singleSectionMode = true;
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(folder));
    EXPECT_EQ(sectionsOf(loader), (std::vector<Section>{{"singleMode", 0, {"A1_X_4.JPG", "B2_X_3.JPG", "A1_X_2.JPG", "A1_X_1.JPG"}}}));

    // Without a new list the records stay and only the table is rebuilt.
    loader.singleSectionMode = false;
    loader.setupDataForUrls(std::nullopt);
    EXPECT_EQ(loader.numberOfItems(), 4);
    EXPECT_EQ(loader.numberOfSections, 1);
}

// The mark of a possible unread card shows on the photo and, counted, in its
// section's header; a card photo never shows it.
TEST_F(SectionModel, PossibleUnreadCardsShowOnThePhotoAndInTheHeader)
{
    const QString folder = makeTempFolder();
    makePhotos(folder, {"A1_X_1-qrcode.JPG", "A1_X_2.JPG", "A1_X_3.JPG", "B2_X_4-qrcode.JPG", "B2_X_5.JPG"});
    if (!setPossibleUnreadCardMark(folder + "/A1_X_2.JPG", QStringLiteral("a code was located but not read")))
        GTEST_SKIP() << "no extended attributes here";
    setPossibleUnreadCardMark(folder + "/A1_X_3.JPG", QStringLiteral("its code [AB\\u000aCD] cannot name a photo"));
    setPossibleUnreadCardMark(folder + "/B2_X_4-qrcode.JPG", QStringLiteral("stale"));
    auto loader = std::make_shared<ImageDirectoryLoader>();
    ASSERT_TRUE(loader->loadDataForFolderWithUrl(folder));
    EXPECT_EQ(loader->imageFileForIndexPath({0, 1})->possibleUnreadCard, QStringLiteral("a code was located but not read"));
    EXPECT_FALSE(loader->imageFileForIndexPath({0, 0})->possibleUnreadCard);
    EXPECT_FALSE(loader->imageFileForIndexPath({1, 0})->possibleUnreadCard);

    SectionItemModel model;
    model.setLoader(loader);
    const auto headerText
        = [&](int section) { return model.index(model.headerRow(section)).data(SectionItemModel::PossibleUnreadCardRole).toString(); };
    EXPECT_EQ(headerText(0), QStringLiteral("2 possible unread cards"));
    EXPECT_EQ(headerText(1), QString());
    EXPECT_EQ(model.index(model.headerRow(0) + 2).data(SectionItemModel::PossibleUnreadCardRole).toString(),
              QStringLiteral("a code was located but not read"));
    EXPECT_EQ(model.index(model.headerRow(1) + 1).data(SectionItemModel::PossibleUnreadCardRole).toString(), QString());

    clearPossibleUnreadCardMark(folder + "/A1_X_3.JPG");
    ASSERT_TRUE(loader->loadDataForFolderWithUrl(folder));
    model.setLoader(loader);
    EXPECT_EQ(headerText(0), QStringLiteral("1 possible unread card"));
}

// A JPEG and its RAW file are one photo of the section, with the RAW in the
// record and marked in the cell; a RAW alone is a photo of its own.
TEST_F(SectionModel, ARawWithItsJpegIsOnePhoto)
{
    const QString folder = makeTempFolder();
    writeFilesInOrder(folder, {"A1_X_1-qrcode.JPG", "A1_X_1-qrcode.NEF", "A1_X_2.JPG", "A1_X_2.NEF", "A1_X_3.CR2", "B2_X_4-qrcode.JPG"});
    auto loader = std::make_shared<ImageDirectoryLoader>();
    ASSERT_TRUE(loader->loadDataForFolderWithUrl(folder));
    EXPECT_EQ(sectionsOf(*loader),
              (std::vector<Section>{{"A1", 0, {"A1_X_1-qrcode.JPG", "A1_X_2.JPG", "A1_X_3.CR2"}}, {"B2", 3, {"B2_X_4-qrcode.JPG"}}}));
    EXPECT_EQ(loader->imageFileForIndexPath({0, 1})->rawFiles, QStringList{folder + "/A1_X_2.NEF"});
    EXPECT_TRUE(loader->imageFileForIndexPath({0, 2})->rawFiles.isEmpty());
    ASSERT_TRUE(loader->fSortedUrls);
    EXPECT_EQ(loader->fSortedUrls->size(), 4);

    SectionItemModel model;
    model.setLoader(loader);
    EXPECT_EQ(model.index(model.headerRow(0)).data(SectionItemModel::CountTextRole).toString(), QStringLiteral("3 Item(s)"));
    EXPECT_EQ(model.index(model.headerRow(0) + 2).data(SectionItemModel::RawCompanionsRole).toStringList(), QStringList{"A1_X_2.NEF"});
    EXPECT_TRUE(model.index(model.headerRow(0) + 3).data(SectionItemModel::RawCompanionsRole).toStringList().isEmpty());
}

TEST_F(SectionModel, SectionKeys)
{
    sortByName();
    const QString folder = makeTempFolder();
    makePhotos(folder, {"A1 X.JPG", "A1_X_2.JPG", "DSC01234.JPG", "DSC01235.JPG", "IMG_0413.JPG", "IMG_0414.JPG", "_IMG_0415.JPG"});
    ImageDirectoryLoader loader;
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(folder));
    EXPECT_EQ(sectionsOf(loader),
              (std::vector<Section>{{"A1", 0, {"A1 X.JPG", "A1_X_2.JPG"}},
                                    {"?originalFileName?", 2, {"DSC01234.JPG", "DSC01235.JPG"}},
                                    {"IMG", 4, {"IMG_0413.JPG", "IMG_0414.JPG"}},
                                    {"", 6, {"_IMG_0415.JPG"}}}));

    // A code holding "_" (or a blank) is one key: two families named alike
    // stay apart, and a card photo sits with its subject.
    const QString families = makeTempFolder();
    makePhotos(families,
               {"SMITH_JANE_IMG_0003-qrcode.JPG", "SMITH_JANE_IMG_0004.JPG", "SMITH_JOHN_IMG_0001-qrcode.JPG", "SMITH_JOHN_IMG_0002.JPG",
                "Smith John_IMG_0005.JPG"});
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(families));
    EXPECT_EQ(sectionsOf(loader),
              (std::vector<Section>{{"SMITH_JANE", 0, {"SMITH_JANE_IMG_0003-qrcode.JPG", "SMITH_JANE_IMG_0004.JPG"}},
                                    {"SMITH_JOHN", 2, {"SMITH_JOHN_IMG_0001-qrcode.JPG", "SMITH_JOHN_IMG_0002.JPG"}},
                                    {"Smith John", 4, {"Smith John_IMG_0005.JPG"}}}));
    EXPECT_EQ(*loader.imageFileForIndexPath({1, 1})->basecode, QStringLiteral("SMITH_JOHN"));

    // One key throughout: one section, even in multi-section mode.
    const QString same = makeTempFolder();
    makePhotos(same, {"A1_X_1.JPG", "A1_X_2.JPG", "A1_X_3.JPG"});
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(same));
    EXPECT_EQ(sectionsOf(loader), (std::vector<Section>{{"A1", 0, {"A1_X_1.JPG", "A1_X_2.JPG", "A1_X_3.JPG"}}}));
}

TEST_F(SectionModel, ListingKeepsOnlyCompletePhotosDirectlyInTheFolder)
{
    sortByName();
    const QString folder = makeTempFolder();
    makePhotos(folder, {"A1_X_1.JPG", "A1_X_2.jpeg", ".A1_X_3.JPG", "sub/A1_X_4.JPG"});
    ASSERT_TRUE(writeFile(folder + "/notes.txt", "not a photo"));
    ASSERT_TRUE(writeFile(folder + "/A1_X_5.JPG", "text that only calls itself a photo"));
    ASSERT_TRUE(QDir(folder).mkdir("A1_X_6.JPG"));
    ASSERT_TRUE(QFile::link(folder + "/A1_X_1.JPG", folder + "/A1_X_7.JPG"));
    ASSERT_TRUE(writeFile(folder + "/A1_X_8.JPG", smallJpeg())); // just written: too young
    ASSERT_TRUE(fileops::setModificationDate(folder + "/A1_X_8.JPG", QDateTime::currentDateTime()));

    Settings &settings = Settings::shared();
    settings.setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), true);
    settings.setValue(QStringLiteral("prefDelayToWaitForValidPhotoInSeconds"), 60.0);
    const auto names = [&] { return listedNames(folder); };
    EXPECT_EQ(lines(names()), lines((QStringList{"A1_X_1.JPG", "A1_X_2.jpeg"})));

    settings.setValue(QStringLiteral("prefDoDelayToWaitForValidPhoto"), false);
    EXPECT_EQ(lines(names()), lines((QStringList{"A1_X_1.JPG", "A1_X_2.jpeg", "A1_X_8.JPG"})));

    // What a file is, is remembered across renames but not across rewrites.
    ASSERT_TRUE(QFile::rename(folder + "/A1_X_2.jpeg", folder + "/B2_X_2.jpeg"));
    ASSERT_TRUE(QFile::remove(folder + "/A1_X_5.JPG"));
    ASSERT_TRUE(writeFile(folder + "/A1_X_5.JPG", smallJpeg()));
    EXPECT_EQ(lines(names()), lines((QStringList{"A1_X_1.JPG", "A1_X_5.JPG", "A1_X_8.JPG", "B2_X_2.jpeg"})));
}

TEST_F(SectionModel, UnreadableFolderKeepsThePreviousModel)
{
    sortByName();
    const QString folder = makeTempFolder();
    makePhotos(folder, {"A1_X_1.JPG", "B2_X_2.JPG"});
    ImageDirectoryLoader loader;
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(folder));
    EXPECT_FALSE(loader.loadDataForFolderWithUrl(folder + "/missing"));
    EXPECT_FALSE(loader.lastError().isEmpty());
    EXPECT_EQ(loader.numberOfItems(), 2);
    EXPECT_EQ(loader.numberOfSections, 2);

    QString error;
    EXPECT_FALSE(ImageDirectoryLoader::getFilesURLFromFolderClass(folder + "/A1_X_1.JPG", &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(SectionModel, SortChoiceFallsBackToTheFirstEntryOrToTheName)
{
    Settings &settings = Settings::shared();
    settings.setValue(QStringLiteral("prefInputFolderSortKeySelectedIndex"), 7);
    settings.setValue(QStringLiteral("prefInputFolderSortOrderKeySelectedIndex"), -1);
    EXPECT_EQ(ImageDirectoryLoader::selectedSortKey(), QStringLiteral("creationDate"));
    EXPECT_FALSE(ImageDirectoryLoader::selectedSortDescending());

    settings.setValue(QStringLiteral("prefInputFolderSortKeyList"), QVariantList{});
    settings.setValue(QStringLiteral("prefInputFolderSortOrderKeyList"), QVariantList{});
    EXPECT_EQ(ImageDirectoryLoader::selectedSortKey(), QStringLiteral("localizedName"));
    EXPECT_FALSE(ImageDirectoryLoader::selectedSortDescending());

    settings.setValue(QStringLiteral("prefInputFolderSortKeyList"), QVariantList{QVariantMap{{"title", "no key"}}});
    settings.setValue(QStringLiteral("prefInputFolderSortOrderKeyList"), QVariantList{QVariantMap{{"key", "descending"}}});
    settings.setValue(QStringLiteral("prefInputFolderSortOrderKeySelectedIndex"), 0);
    EXPECT_EQ(ImageDirectoryLoader::selectedSortKey(), QStringLiteral("localizedName"));
    EXPECT_TRUE(ImageDirectoryLoader::selectedSortDescending());
}

TEST_F(SectionModel, ThumbnailsComeFromTheService)
{
    const QString folder = makeTempFolder();
    makePhotos(folder, {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG"});
    // A photo that only starts like a JPEG: listed, without a thumbnail.
    ASSERT_TRUE(writeFile(folder + "/IMG_0004.JPG", smallJpeg().left(200)));
    ASSERT_TRUE(fileops::setModificationDate(folder + "/IMG_0004.JPG", firstCaptureTime().addSecs(3)));

    ImageDirectoryLoader loader;
    loader.setThumbnailService(std::make_shared<ThumbnailService>(2, 1 << 20));
    ASSERT_TRUE(loader.loadDataForFolderWithUrl(folder));
    ASSERT_EQ(loader.numberOfItems(), 4);
    for (int i = 0; i < 3; ++i) {
        const QImage thumbnail = loader.imageFiles[size_t(i)]->thumbnail;
        ASSERT_FALSE(thumbnail.isNull()) << i;
        EXPECT_LE(std::max(thumbnail.width(), thumbnail.height()), 160);
    }
    EXPECT_TRUE(loader.imageFiles[3]->thumbnail.isNull());

    // Without a service records come without thumbnails.
    ImageDirectoryLoader plain;
    ASSERT_TRUE(plain.loadDataForFolderWithUrl(folder));
    EXPECT_TRUE(plain.imageFiles[0]->thumbnail.isNull());
}
