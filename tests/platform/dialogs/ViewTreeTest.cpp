#include <gtest/gtest.h>

#include "platform/dialogs/Controls.h"
#include "platform/dialogs/ScrollView.h"
#include "platform/dialogs/View.h"

using namespace qvui;

TEST(ViewTree, SubviewsKeepOrderAndRefuseCycles) {
    auto root = View::initWithFrame({0, 0, 100, 100});
    auto child = std::make_shared<View>();
    auto grandchild = std::make_shared<View>();
    EXPECT_TRUE(root->addSubview(child));
    EXPECT_TRUE(child->addSubview(grandchild));
    EXPECT_FALSE(grandchild->addSubview(root));
    EXPECT_FALSE(child->addSubview(child));
    EXPECT_FALSE(root->addSubview(nullptr));
    EXPECT_EQ(grandchild->superview(), child.get());

    // Moving a view takes it from its old superview.
    EXPECT_TRUE(root->addSubview(grandchild));
    EXPECT_TRUE(child->subviews().empty());
    EXPECT_EQ(root->subviews().size(), 2u);
    EXPECT_EQ(grandchild->superview(), root.get());

    auto orphan = std::make_shared<View>();
    {
        auto parent = std::make_shared<View>();
        parent->addSubview(orphan);
    }
    EXPECT_EQ(orphan->superview(), nullptr);
}

TEST(ViewTree, OrderIsDepthFirstThroughScrollViews) {
    auto root = std::make_shared<View>();
    auto header = Label::labelWithString("kop");
    auto scroll = std::make_shared<ScrollView>(Rect{0, 0, 100, 50});
    auto document = std::make_shared<View>();
    auto rowLabel = Label::labelWithString("rij");
    auto rowPopup = std::make_shared<PopUpButton>();
    document->addSubview(rowLabel);
    document->addSubview(rowPopup);
    scroll->setDocumentView(document);
    auto footer = std::make_shared<TextField>();
    root->addSubview(header);
    root->addSubview(scroll);
    root->addSubview(footer);

    auto order = viewTreeOrder(root.get());
    std::vector<View*> expected{root.get(),     header.get(),   scroll.get(),   scroll->contentView().get(),
                                document.get(), rowLabel.get(), rowPopup.get(), footer.get()};
    EXPECT_EQ(order, expected);
    auto labels = viewsOfType<Label>(root.get());
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[1]->stringValue(), "rij");
    EXPECT_TRUE(viewTreeOrder(nullptr).empty());
}

TEST(ViewTree, AutoresizingFollowsTheSuperview) {
    auto root = View::initWithFrame({0, 0, 200, 100});
    auto stretch = std::make_shared<View>(Rect{10, 10, 180, 20});
    stretch->setAutoresizingMask(ViewWidthSizable);
    auto pinnedRight = std::make_shared<View>(Rect{150, 50, 40, 20});
    pinnedRight->setAutoresizingMask(ViewMinXMargin | ViewMinYMargin);
    auto fixed = std::make_shared<View>(Rect{5, 5, 10, 10});
    root->addSubview(stretch);
    root->addSubview(pinnedRight);
    root->addSubview(fixed);

    root->setFrame({0, 0, 300, 120});
    EXPECT_EQ(stretch->frame(), (Rect{10, 10, 280, 20}));
    EXPECT_EQ(pinnedRight->frame(), (Rect{250, 70, 40, 20}));
    EXPECT_EQ(fixed->frame(), (Rect{5, 5, 10, 10}));
}

TEST(PopUpButton, SelectionByPositionWithEqualTitles) {
    PopUpButton popup({0, 0, 240, 26}, false);
    EXPECT_FALSE(popup.pullsDown());
    EXPECT_EQ(popup.indexOfSelectedItem(), -1);  // nothing to select yet

    popup.addItemsWithTitles({"Kies een kolom...", "Naam"});
    EXPECT_EQ(popup.indexOfSelectedItem(), 0);  // a filled pop-up shows its first item
    popup.menu().addItem(MenuItem("Naam"));
    popup.addItemsWithTitles({"Naam"});
    EXPECT_EQ(popup.itemTitles(), (std::vector<std::string>{"Kies een kolom...", "Naam", "Naam", "Naam"}));

    popup.selectItemAtIndex(2);
    EXPECT_EQ(popup.indexOfSelectedItem(), 2);
    EXPECT_EQ(popup.titleOfSelectedItem(), "Naam");
    popup.selectItemAtIndex(4);
    EXPECT_EQ(popup.indexOfSelectedItem(), -1);
    EXPECT_EQ(popup.titleOfSelectedItem(), "");
    popup.selectItemAtIndex(3);
    popup.selectItemAtIndex(-1);
    EXPECT_EQ(popup.indexOfSelectedItem(), -1);
}

TEST(ScrollView, ScrollsWithinTheDocumentAndReflectsScrollers) {
    // A list of twenty 38-point rows in a window of eight.
    ScrollView scroll({0, 0, 570, 304});
    scroll.setBorderType(BorderType::bezel);
    scroll.setHasVerticalScroller(true);
    scroll.setAutohidesScrollers(true);
    scroll.setDocumentView(std::make_shared<View>(Rect{0, 0, 550, 760}));
    EXPECT_EQ(scroll.contentSize(), (Size{568, 302}));

    auto clip = scroll.contentView();
    double top = 760 - clip->bounds().height;
    clip->scrollToPoint({0, top});
    scroll.reflectScrolledClipView(*clip);
    EXPECT_EQ(clip->bounds().y, 458);
    EXPECT_TRUE(scroll.isVerticalScrollerShown());
    EXPECT_DOUBLE_EQ(scroll.verticalScrollerValue(), 0.0);
    EXPECT_NEAR(scroll.verticalKnobProportion(), 302.0 / 760.0, 1e-9);

    clip->scrollToPoint({-5, 10000});  // beyond the document: held at its edges
    EXPECT_EQ(clip->bounds().origin(), (Point{0, 458}));
    clip->scrollToPoint({0, 0});
    scroll.reflectScrolledClipView(*clip);
    EXPECT_DOUBLE_EQ(scroll.verticalScrollerValue(), 1.0);

    // A document that fits: nothing to scroll, and a self-hiding scroller goes away.
    scroll.setDocumentView(std::make_shared<View>(Rect{0, 0, 550, 114}));
    clip->scrollToPoint({0, 114 - clip->bounds().height});
    scroll.reflectScrolledClipView(*clip);
    EXPECT_EQ(clip->bounds().y, 0);
    EXPECT_FALSE(scroll.isVerticalScrollerShown());
    scroll.setAutohidesScrollers(false);
    scroll.reflectScrolledClipView(*clip);
    EXPECT_TRUE(scroll.isVerticalScrollerShown());
}

TEST(ScrollView, TextViewWidthFollowsTheScrollView) {
    auto scroll = std::make_shared<ScrollView>(Rect{0, 0, 480, 250});
    scroll->setBorderType(BorderType::bezel);
    Size visible = scroll->contentSize();
    auto text = std::make_shared<TextView>(Rect{0, 0, visible.width, visible.height});
    text->setAutoresizingMask(ViewWidthSizable);
    text->textContainer().setWidthTracksTextView(true);
    scroll->setDocumentView(text);
    EXPECT_EQ(text->textContainer().containerSize().width, 478);

    scroll->setFrame({0, 0, 600, 250});
    EXPECT_EQ(text->frame().width, 598);
    EXPECT_EQ(text->textContainer().containerSize().width, 598);
}
